// The road every output and Pelk.ini is written by: which targets it refuses, the bits a
// written file gets, and what a refusal or a full disk leaves, both for the outputs'
// ReplacingFile and for the file service's replace() that saves the settings. The
// permission cases run again as the user nobody, whose rights, unlike root's, the bits
// also stop.
#include "platform/real/file_service.h"
#include "platform/real/replacing_file.h"
#include "window/failure.h"
#include "support/enc_scratch_mount.h"
#include "support/files.h"
#include "support/permissions.h"

#include <QDir>
#include <QProcess>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <optional>
#include <sys/stat.h>

using namespace pelk;
using namespace pelk::test;

namespace {

struct Case {
    const char* name;
    int oldMode;  // -1: no file at the target yet
    int folderMode;
    bool throughLink;
    const char* disk;  // the folder is a tmpfs of this size
    int modeAfter;     // -1: refused, the old file stays as it was
};

// All under a umask of 027: a new file shows it follows the umask, a replaced one that it does not.
const Case cases[] = {
    {"new file", -1, 0755, false, nullptr, 0640},
    {"writable 0644", 0644, 0755, false, nullptr, 0644},
    {"writable 0600", 0600, 0755, false, nullptr, 0600},
    {"writable 0640", 0640, 0755, false, nullptr, 0640},
    {"read-only 0444", 0444, 0755, false, nullptr, -1},
    {"read-only 0544", 0544, 0755, false, nullptr, -1},
    {"owner cannot write 0464", 0464, 0755, false, nullptr, -1},
    {"writable 0604", 0604, 0755, false, nullptr, 0604},
    {"read-only folder", 0644, 0555, false, nullptr, -1},  // refused by its bits, for root too
    {"through a link", 0640, 0755, true, nullptr, 0640},
    {"full disk", 0644, 0755, false, "64k", -1},
};

const char* const roads[] = {"file", "service"};

// Writes through one of the two roads; false when the write was refused or failed.
// The temporary file's mode is seen on the first road only.
bool write(const QString& road, const QString& target, const QByteArray& content, int* temporaryMode)
{
    if (road == QLatin1String("service")) {
        try {
            RealFileService().replace(target, content);
            return true;
        } catch (const Failure&) {
            return false;
        }
    }
    ReplacingFile replacing(target);
    if (!replacing.open())
        return false;
    *temporaryMode = modeOf(replacing.device().fileName());
    return replacing.device().write(content) == content.size() && replacing.commit();
}

}  // namespace

class TestReplacingFile : public QObject {
    Q_OBJECT

private slots:
    void replaces_data()
    {
        QTest::addColumn<int>("oldMode");
        QTest::addColumn<int>("folderMode");
        QTest::addColumn<bool>("throughLink");
        QTest::addColumn<QString>("disk");
        QTest::addColumn<int>("modeAfter");
        QTest::addColumn<QString>("road");
        for (const Case& c : cases)
            for (const char* road : roads)
                QTest::addRow("%s, %s", c.name, road) << c.oldMode << c.folderMode << c.throughLink
                                                      << QString::fromLatin1(c.disk) << c.modeAfter
                                                      << QString::fromLatin1(road);
    }

    void replaces()
    {
        QFETCH(int, oldMode);
        QFETCH(int, folderMode);
        QFETCH(bool, throughLink);
        QFETCH(QString, disk);
        QFETCH(int, modeAfter);
        QFETCH(QString, road);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("out"));
        QVERIFY(QDir().mkpath(folder));
        std::optional<ScratchMount> mount;
        if (!disk.isEmpty()) {
            if (!runningAsRoot())
                QSKIP("mounting a small file system needs root");
            mount.emplace(folder, disk);
            QVERIFY2(mount->ok(), "running as root, yet cannot mount a tmpfs");
        }
        const QString file = folder + QStringLiteral("/k.jpg");
        const QByteArray older = "an older file, to be kept as it is";
        if (oldMode >= 0) {
            writeBytes(file, older);
            QVERIFY(setMode(file, oldMode));
        }
        QString target = file;
        if (throughLink) {
            target = dir.filePath(QStringLiteral("link.jpg"));
            QVERIFY(QFile::link(file, target));
        }
        const QStringList before = entries(folder);
        const QByteArray content = disk.isEmpty() ? QByteArray("the new content") : QByteArray(256 * 1024, 'n');

        const mode_t umaskBefore = ::umask(027);
        const bool folderSet = setMode(folder, folderMode);
        int temporaryMode = -1;
        const bool written = write(road, target, content, &temporaryMode);
        setMode(folder, 0755);
        ::umask(umaskBefore);

        QVERIFY(folderSet);
        QCOMPARE(written, modeAfter >= 0);
        // Not even the temporary file is open to more people than the final one.
        if (temporaryMode >= 0)
            QCOMPARE(temporaryMode & ~(written ? modeAfter : oldMode) & 0777, 0);
        QCOMPARE(readBytes(file), written ? content : older);
        QCOMPARE(modeOf(file), written ? modeAfter : oldMode);
        QCOMPARE(entries(folder), written && oldMode < 0 ? QStringList{QStringLiteral("k.jpg")} : before);
        QCOMPARE(QFileInfo(target).isSymLink(), throughLink);
    }

    void asAnUnprivilegedUser()
    {
        if (!runningAsRoot())
            QSKIP("not root: the cases above already ran without root's rights");
        QStringList names;
        for (const Case& c : cases)
            for (const char* road : roads)
                if (!c.disk)
                    names << QStringLiteral("replaces:%1, %2").arg(QLatin1String(c.name), QLatin1String(road));
        const QString problem = runAsNobody(names);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    // Root writes through every bit; a read-only file system stops it too.
    void aReadOnlyMountKeepsTheOldFile_data()
    {
        QTest::addColumn<QString>("road");
        for (const char* road : roads)
            QTest::newRow(road) << QString::fromLatin1(road);
    }
    void aReadOnlyMountKeepsTheOldFile()
    {
        QFETCH(QString, road);
        if (!runningAsRoot())
            QSKIP("not root: cannot mount; the read-only folder row above stops this user");
        QTemporaryDir source;
        QTemporaryDir mountPoint;
        const QByteArray old("12\r\n 1 \r\n 0 \r\n");
        writeBytes(source.filePath(QStringLiteral("Pelk.ini")), old);
        const QString folder = mountPoint.path();
        QCOMPARE(QProcess::execute(QStringLiteral("mount"), {QStringLiteral("--bind"), source.path(), folder}), 0);
        QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("remount,ro,bind"), folder});
        int temporaryMode = -1;
        const bool written = write(road, folder + QStringLiteral("/Pelk.ini"), "99\r\n 0 \r\n 1 \r\n", &temporaryMode);
        const QByteArray after = readBytes(folder + QStringLiteral("/Pelk.ini"));
        const QStringList left = entries(folder);
        QProcess::execute(QStringLiteral("umount"), {folder});
        QVERIFY(!written);
        QCOMPARE(after, old);
        QCOMPARE(left, QStringList{QStringLiteral("Pelk.ini")});
    }
};

QTEST_GUILESS_MAIN(TestReplacingFile)
#include "test_replacing_file.moc"
