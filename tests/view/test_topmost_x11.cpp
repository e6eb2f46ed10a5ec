// Stay-on-top on a real X server with a window manager: the window manager must see
// _NET_WM_STATE_ABOVE, and the window must not move, resize or hide on the way.
#include "platform/widgets/qt_window_system.h"
#include "support/files.h"
#include "support/view_fixture.h"
#include "support/x11_session.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace pelk;
using namespace pelk::test;

namespace {

struct XGeometry {
    int x = -1, y = -1, width = -1, height = -1;
    bool operator==(const XGeometry&) const = default;
};

}  // namespace

class TopmostX11Test : public QObject {
    Q_OBJECT

public:
    TopmostX11Test(QString display, QString unavailable)
        : display_(std::move(display)), unavailable_(std::move(unavailable))
    {
    }

private:
    QString display_;
    QString unavailable_;

    // The X window Qt shows now: QWindow's id, which follows a re-creation of the native
    // window (QWidget::winId() may still name the first one).
    static QString xid(QWidget* w) { return QString::number(w->windowHandle()->winId()); }

    QString wmState(QWidget* w) const { return runXClient(display_, {"xprop", "-id", xid(w), "_NET_WM_STATE"}); }
    bool above(QWidget* w) const { return wmState(w).contains(u"_NET_WM_STATE_ABOVE"); }

    // Where the X server has the client window, in root coordinates.
    XGeometry geometry(QWidget* w) const
    {
        const QString info = runXClient(display_, {"xwininfo", "-id", xid(w)});
        auto field = [&](const char* name) {
            const QRegularExpression re(QStringLiteral("%1:\\s*(-?\\d+)").arg(QLatin1String(name)));
            const QRegularExpressionMatch m = re.match(info);
            return m.hasMatch() ? m.captured(1).toInt() : -1;
        };
        return {field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"), field("Height")};
    }

    // The window manager has framed the window and placed it.
    QString frameExtents(QWidget* w) const
    {
        return runXClient(display_, {"xprop", "-id", xid(w), "_NET_FRAME_EXTENTS"});
    }
    bool managed(QWidget* w) const { return frameExtents(w).contains(u'='); }

    struct Setup {
        TestPlatform tp;
        QtWindowSystem windowSystem;
        Platform platform{tp.pictures, tp.files, tp.messages, windowSystem, tp.encoder};
        std::unique_ptr<ViewFixture> view;
        Setup()
        {
            view = std::make_unique<ViewFixture>(&platform);
            windowSystem.setWindow(view->window.get());
        }
    };

private slots:
    void init()
    {
        if (!unavailable_.isEmpty())
            QFAIL(qPrintable(unavailable_));
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    }

    void tickingTheBoxPutsTheWindowOnTop()
    {
        Setup s;
        MainWindow* w = s.view->window.get();
        w->move(200, 150);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QTRY_VERIFY(managed(w));
        QVERIFY(!above(w));
        const XGeometry before = geometry(w);
        const QRect widgetBefore = w->geometry();
        QCOMPARE(before.width, 533);

        auto* box = s.view->widget<QCheckBox>("Check2");
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
        QCOMPARE(int(s.view->model.Check2.value()), 1);
        QTRY_VERIFY2(above(w), qPrintable(wmState(w)));
        QVERIFY(w->isVisible());
        QCOMPARE(geometry(w), before);
        QCOMPARE(w->geometry(), widgetBefore);
        QVERIFY(w->windowFlags() & Qt::WindowStaysOnTopHint);

        // Clearing the box does not take the state away.
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
        QCOMPARE(int(s.view->model.Check2.value()), 0);
        QTest::qWait(100);
        QVERIFY(above(w));

        // Nor does hiding and showing the window again.
        w->hide();
        QTRY_VERIFY(!w->isVisible());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QTRY_VERIFY2(managed(w), qPrintable(frameExtents(w)));
        QTRY_VERIFY2(above(w), qPrintable(wmState(w)));
        QCOMPARE(geometry(w).width, before.width);
        QCOMPARE(geometry(w).height, before.height);
    }

    // A settings file asking for stay-on-top: start-up shows the window at once, on top,
    // before the program's own show().
    void startUpFromTheSettings()
    {
        QTemporaryDir dir;
        writeBytes(dir.filePath(QStringLiteral("Pelk.ini")), "64\r\n 0 \r\n 1 \r\n");
        WorkingDirectory cwd(dir.path());
        Setup s;
        MainWindow* w = s.view->window.get();
        QVERIFY(!w->isVisible());
        s.view->model.Load();
        QVERIFY(w->isVisible());
        QVERIFY(s.view->widget<QCheckBox>("Check2")->isChecked());
        QCOMPARE(s.view->widget<QLineEdit>("Text2")->text(), QStringLiteral("64"));
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QTRY_VERIFY2(managed(w), qPrintable(frameExtents(w)));
        QTRY_VERIFY2(above(w), qPrintable(wmState(w)));
        QCOMPARE(geometry(w).width, 533);
        w->show();  // what main does next changes nothing
        QTest::qWait(100);
        QVERIFY(above(w));
    }
};

int main(int argc, char* argv[])
{
    return runOnPrivateX(argc, argv, {"Xvfb", "openbox", "xprop", "xwininfo"},
                         [](QString display, QString unavailable) {
                             return std::make_unique<TopmostX11Test>(std::move(display), std::move(unavailable));
                         });
}

#include "test_topmost_x11.moc"
