#pragma once

#include "app/wiring.h"
#include "support/real_platform.h"
#include "view/main_window.h"
#include "window/window_model.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <memory>

// The real window over a model wired to its handlers, on the test platform (real
// pictures and file lengths, fake message box and window system).
namespace pelk::test {

struct ViewFixture {
    TestPlatform platform;
    WindowModel model;
    std::unique_ptr<MainWindow> window;

    explicit ViewFixture(Platform* on = nullptr)
    {
        connectHandlers(model, on ? *on : platform.platform);
        window = std::make_unique<MainWindow>(model);
    }

    template <typename W = QWidget>
    W* widget(const QString& name) const
    {
        auto* w = qobject_cast<W*>(window->widget(name));
        if (!w)
            qFatal("no widget %s of the expected class", qPrintable(name));
        return w;
    }

    // Shows the window and makes it the active one, so keys and focus behave.
    bool showActive()
    {
        window->show();
        QApplication::setActiveWindow(window.get());
        return QTest::qWaitForWindowActive(window.get());
    }
};

struct DropResult {
    bool enterAccepted = false;
    bool dropAccepted = false;
    Qt::DropAction action = Qt::IgnoreAction;
};

// A drag entering the widget and dropping at its centre, as Qt delivers them; then the
// window handles the drop, once the drop event has returned.
inline DropResult dropOn(QWidget* target, const QMimeData* mime,
                         Qt::DropActions possible = Qt::CopyAction | Qt::MoveAction, bool handle = true)
{
    const QPoint at = target->rect().center();
    DropResult result;
    QDragEnterEvent enter(at, possible, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    result.enterAccepted = enter.isAccepted();
    QDropEvent drop(QPointF(at), possible, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    result.dropAccepted = drop.isAccepted();
    result.action = drop.dropAction();
    if (handle)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    return result;
}

inline std::unique_ptr<QMimeData> fileDrag(const QStringList& paths)
{
    auto mime = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& p : paths)
        urls << QUrl::fromLocalFile(p);
    mime->setUrls(urls);
    return mime;
}

}  // namespace pelk::test
