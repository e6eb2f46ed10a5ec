// The end of a desktop session as the real program meets it: the signals a session
// manager, logind or a terminal sends, and the X connection going away. Each must close
// the window as its close button does, so that Pelk.ini holds the window's settings.
#include "support/files.h"
#include "support/x11_session.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace pelk::test;

namespace {

// Written with lone LFs: the program's own save writes CR LF, so a rewrite shows.
const QByteArray handWritten = "33\n1\n0\n";
const QByteArray savedByTheWindow = "33\r\n 1 \r\n 0 \r\n";

QString program() { return qEnvironmentVariable("PELK_BINARY_DIR") + QStringLiteral("/pelk17"); }

// The program catches all three once its window exists (the kernel lists caught signals).
bool catchesSessionSignals(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (!line.startsWith("SigCgt:"))
            continue;
        const qulonglong caught = line.mid(7).trimmed().toULongLong(nullptr, 16);
        const qulonglong wanted = (1ull << (SIGHUP - 1)) | (1ull << (SIGINT - 1)) | (1ull << (SIGTERM - 1));
        return (caught & wanted) == wanted;
    }
    return false;
}

}  // namespace

class SessionEndTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    // Starts the program in `dir` with the hand-written settings (unless told there are
    // others) and waits for its window.
    bool start(QProcess& p, const QProcessEnvironment& env, bool writeSettings = true)
    {
        if (writeSettings)
            writeBytes(dir.filePath(QStringLiteral("Pelk.ini")), handWritten);
        p.setWorkingDirectory(dir.path());
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(program(), {});
        if (!p.waitForStarted(10000))
            return false;
        const QDeadlineTimer deadline(20000);
        while (!catchesSessionSignals(p.processId())) {
            if (deadline.hasExpired() || p.state() != QProcess::Running)
                return false;
            QThread::msleep(20);
        }
        // The handlers are set before the window shows; give the event loop its start.
        QThread::msleep(300);
        return true;
    }

private slots:
    void signalsCloseTheWindow_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM (logind, session manager)") << int(SIGTERM);
        QTest::newRow("SIGHUP (session or terminal gone)") << int(SIGHUP);
        QTest::newRow("SIGINT (Ctrl+C in a terminal)") << int(SIGINT);
    }
    void signalsCloseTheWindow()
    {
        QFETCH(int, signal);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess p;
        QVERIFY2(start(p, env), qPrintable(program()));
        QCOMPARE(::kill(pid_t(p.processId()), signal), 0);
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(readBytes(dir.filePath(QStringLiteral("Pelk.ini"))), savedByTheWindow);
    }

    // A Pelk.ini that is no settings file holds start-up back no more than a moment, so the
    // end of the session (here during start-up) still closes the window. A FIFO would wait
    // for a writer, a huge file without a line end would be read to its end: the program
    // would then neither show its window nor end on SIGTERM, whose handling waits for the
    // event loop.
    void anOddPelkIniHoldsNothingBack_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("savedAfter");  // null: left as it was
        QTest::newRow("a FIFO") << "fifo" << QByteArray();
        QTest::newRow("1 TiB without a line end") << "huge" << QByteArray("50\r\n 0 \r\n 0 \r\n");
    }
    void anOddPelkIniHoldsNothingBack()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, savedAfter);
        const QByteArray ini = QFile::encodeName(dir.filePath(QStringLiteral("Pelk.ini")));
        QFile::remove(dir.filePath(QStringLiteral("Pelk.ini")));
        if (kind == u"fifo") {
            QCOMPARE(::mkfifo(ini.constData(), 0644), 0);
        } else {
            writeBytes(QFile::decodeName(ini), "x");
            QCOMPARE(::truncate(ini.constData(), off_t(1) << 40), 0);  // sparse: no disk used
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess p;
        QVERIFY2(start(p, env, false), qPrintable(program()));
        QCOMPARE(::kill(pid_t(p.processId()), SIGTERM), 0);
        QVERIFY2(p.waitForFinished(20000), "SIGTERM did not end the program");
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        struct stat st { };
        QCOMPARE(::stat(ini.constData(), &st), 0);
        if (savedAfter.isNull()) {
            QVERIFY(S_ISFIFO(st.st_mode));
        } else {
            QCOMPARE(readBytes(QFile::decodeName(ini)), savedAfter);
        }
    }

    // Qt ends the process when its X server goes away; the settings are saved on the way.
    void lostXConnectionSavesTheSettings()
    {
        QVERIFY2(X11Session::xvfbInstalled(), "Xvfb is needed (scripts/packages-test.txt)");
        X11Session x;
        QString why;
        QVERIFY2(x.start(&why), qPrintable(why));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DISPLAY"), x.display());
        // Qt's exit() on a lost connection skips its own teardown by design: what the font
        // database holds is never released there, and a sanitized build would call it a leak.
        if (env.contains(QStringLiteral("ASAN_OPTIONS")))
            env.insert(QStringLiteral("ASAN_OPTIONS"),
                       env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
        QProcess p;
        QVERIFY2(start(p, env), qPrintable(program()));
        x.stop();
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(readBytes(dir.filePath(QStringLiteral("Pelk.ini"))), savedByTheWindow);
    }
};

QTEST_GUILESS_MAIN(SessionEndTest)
#include "test_session_end.moc"
