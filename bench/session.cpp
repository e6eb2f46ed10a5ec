#include "session.h"

#include "stats.h"

#include "app/wiring.h"
#include "convert/convert_command.h"

#include <QTest>

namespace pelk::bench {

Session::Session(bool withView, const Wrap& wrap)
    : platform(wrap ? wrap(Platform{real.pictures, real.files, messages, windowSystem, encoder})
                    : Platform{real.pictures, real.files, messages, windowSystem, encoder})
{
    connectHandlers(model, platform);
    if (withView) {
        window = std::make_unique<MainWindow>(model);
        if (model.Load)
            model.Load();
        window->show();
        window->repaint();
    } else if (model.Load) {
        model.Load();
    }
}

void Session::drop(const QString& path)
{
    messages.shown.clear();
    model.OLEDragDrop(DropData{true, {path}});
    if (window)
        window->repaint();
    if (!messages.shown.isEmpty())
        fail(QStringLiteral("drop of %1 failed: %2").arg(path, messages.shown.join(u' ')));
}

void Session::press()
{
    messages.shown.clear();
    model.Command1.click();
    if (window)
        window->repaint();
    if (messages.shown != QStringList{completionMessage})
        fail(QStringLiteral("press on %1 did not complete: %2").arg(model.Label1.caption(), messages.shown.join(u' ')));
}

void Session::setOptions(int progressive)
{
    model.Text2.setText(QStringLiteral("75"));
    model.Check1.setValue(progressive);
}

double timedDrop(Session& s, const QString& reset, const QString& source)
{
    s.drop(reset);
    const Clock::time_point t0 = Clock::now();
    s.drop(source);
    return seconds(t0, Clock::now());
}

double timedPress(Session& s, const QString& reset, const QString& source, int progressive)
{
    s.drop(reset);
    s.drop(source);
    s.setOptions(progressive);
    const Clock::time_point t0 = Clock::now();
    s.press();
    const double t = seconds(t0, Clock::now());
    if (s.model.qualityValue != 75)
        fail(QStringLiteral("the press ran at quality %1, not 75").arg(s.model.qualityValue));
    return t;
}

double timedDropAndPress(Session& s, const QString& reset, const QString& source, int progressive)
{
    s.drop(reset);
    s.setOptions(progressive);
    const Clock::time_point t0 = Clock::now();
    s.drop(source);
    s.press();
    return seconds(t0, Clock::now());
}

double timedPressAfterLooking(Session& s, const QString& reset, const QString& source, int progressive)
{
    s.drop(reset);
    s.setOptions(progressive);
    s.drop(source);
    QTest::qWait(1000);
    auto madeAhead = [&] { return s.encoder.pressesFromPrepared() + s.real.pictures.savesFromAhead(); };
    const int before = madeAhead();
    const Clock::time_point t0 = Clock::now();
    s.press();
    const double t = seconds(t0, Clock::now());
    if (madeAhead() != before + 1)
        fail(QStringLiteral("the press after a second did not write what was made ahead"));
    return t;
}

}  // namespace pelk::bench
