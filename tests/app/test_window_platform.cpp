// The window system the real program chooses on a Wayland desktop with XWayland: a private
// X server and a headless Wayland compositor side by side, as GNOME runs them. Qt's Wayland
// plugin must be installed, or Qt never considers Wayland and the test would prove nothing.
#include "support/x11_session.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace pelk::test;

namespace {

QString program() { return qEnvironmentVariable("PELK_BINARY_DIR") + QStringLiteral("/pelk17"); }

QString waylandPlugin()
{
    return QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms/libqwayland-generic.so");
}

// What the program's window came up on.
enum class Shown { Nowhere, X11, Wayland };

}  // namespace

Q_DECLARE_METATYPE(Shown)

class WindowPlatformTest : public QObject {
    Q_OBJECT

public:
    WindowPlatformTest(QString display, QString unavailable)
        : display_(std::move(display)), unavailable_(std::move(unavailable))
    {
    }

private:
    QString display_;
    QString unavailable_;
    QTemporaryDir runtime_;  // the compositor's XDG_RUNTIME_DIR, private to its owner as it asks
    QProcess compositor_;
    const QString socket_ = QStringLiteral("pelk-test-wayland");

    bool xWindowShown() const
    {
        return runXClient(display_, {"xwininfo", "-root", "-tree"}).contains(u"\"Pelk17\": (");
    }

    // Starts the program with this environment, waits until its window shows on either
    // side, and closes it.
    Shown run(const QProcessEnvironment& env)
    {
        QTemporaryDir cwd;
        QProcess p;
        p.setWorkingDirectory(cwd.path());
        p.setProcessEnvironment(env);
        p.start(program(), {});
        if (!p.waitForStarted(10000))
            return Shown::Nowhere;
        Shown shown = Shown::Nowhere;
        QByteArray errors;
        const QDeadlineTimer deadline(20000);
        while (shown == Shown::Nowhere && !deadline.hasExpired() && p.state() == QProcess::Running) {
            p.waitForReadyRead(100);
            errors += p.readAllStandardError();
            // WAYLAND_DEBUG logs every request a Wayland client makes.
            if (errors.contains("xdg_toplevel") && errors.contains("set_title(\"Pelk17\")"))
                shown = Shown::Wayland;
            else if (xWindowShown())
                shown = Shown::X11;
        }
        // A window on one side only: the other side has not seen the program at all.
        if (shown == Shown::X11 && errors.contains("wl_display@"))
            shown = Shown::Nowhere;
        if (shown == Shown::Wayland && xWindowShown())
            shown = Shown::Nowhere;
        p.terminate();
        if (!p.waitForFinished(10000))
            p.kill();
        return shown;
    }

private slots:
    void initTestCase()
    {
        if (!unavailable_.isEmpty())
            QFAIL(qPrintable(unavailable_));
        if (const QStringList missing = X11Session::missingPrograms({"weston"}); !missing.isEmpty())
            QFAIL("weston is not installed (scripts/packages-test.txt)");
        if (!QFileInfo::exists(waylandPlugin()))
            QFAIL(qPrintable(QStringLiteral("Qt's Wayland plugin is not installed (qt6-wayland): ") + waylandPlugin()));
        QVERIFY(QFileInfo::exists(program()));
        QVERIFY(runtime_.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
        compositor_.setProcessEnvironment(env);
        compositor_.setProcessChannelMode(QProcess::MergedChannels);
        compositor_.start(QStringLiteral("weston"),
                          {"--backend=headless-backend.so", "--socket=" + socket_, "--idle-time=0", "--no-config"});
        QVERIFY(compositor_.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(
            QFileInfo::exists(runtime_.filePath(socket_)) || compositor_.state() != QProcess::Running, 20000);
        QVERIFY2(compositor_.state() == QProcess::Running, compositor_.readAll().constData());
    }

    void cleanupTestCase()
    {
        compositor_.terminate();
        if (!compositor_.waitForFinished(10000))
            compositor_.kill();
    }

    void choosesTheWindowSystem_data()
    {
        QTest::addColumn<QString>("platform");  // QT_QPA_PLATFORM; "-" leaves it unset
        QTest::addColumn<QString>("display");   // DISPLAY; "x" names the private X server, "-" none
        QTest::addColumn<Shown>("expected");
        QTest::newRow("no choice: XWayland, for stay-on-top") << "-"
                                                              << "x" << Shown::X11;
        QTest::newRow("no choice, set empty: the same") << ""
                                                        << "x" << Shown::X11;
        QTest::newRow("no choice, the X display does not answer: Wayland") << "-"
                                                                           << ":250" << Shown::Wayland;
        QTest::newRow("no choice, no X display: Wayland") << "-"
                                                          << "-" << Shown::Wayland;
        QTest::newRow("the user's choice: wayland") << "wayland"
                                                    << "x" << Shown::Wayland;
        QTest::newRow("the user's choice: xcb") << "xcb"
                                                << "x" << Shown::X11;
    }

    void choosesTheWindowSystem()
    {
        QFETCH(QString, platform);
        QFETCH(QString, display);
        QFETCH(Shown, expected);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("DISPLAY"));
        if (platform != u"-")
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        if (display != u"-")
            env.insert(QStringLiteral("DISPLAY"), display == u"x" ? display_ : display);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), socket_);
        env.insert(QStringLiteral("WAYLAND_DEBUG"), QStringLiteral("client"));
        QCOMPARE(run(env), expected);
    }
};

int main(int argc, char* argv[])
{
    return runOnPrivateX(argc, argv, {"Xvfb", "openbox", "xwininfo"}, [](QString display, QString unavailable) {
        return std::make_unique<WindowPlatformTest>(std::move(display), std::move(unavailable));
    });
}

#include "test_window_platform.moc"
