// The road every output and Pelk.ini is written by, on each of the four ways in: the
// outputs' ReplacingFile itself, the file service's replace() that saves the settings, the
// bitmap save and the JPEG encoder. One table of targets for all: which ones are refused,
// the bits a written file gets, and what a refusal, a full disk or a read-only file system
// leaves (the older file as it was, no temporary file). The permission cases run again as
// the user nobody, whose rights, unlike root's, the bits also stop.
#include "platform/real/file_service.h"
#include "platform/real/jpeg/libjpeg_encoder.h"
#include "platform/real/picture_service.h"
#include "platform/real/replacing_file.h"
#include "support/enc_scratch_mount.h"
#include "support/files.h"
#include "support/image_bmp.h"
#include "support/permissions.h"
#include "window/failure.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

#include <optional>
#include <sys/stat.h>

using namespace pelk;
using namespace pelk::test;

namespace {

enum class Target {
    Plain,              // the file in the folder
    ThroughLink,        // a link beside the folder, to the file
    UnderARegularFile,  // in a "folder" that is a regular file
    InMissingFolder,
    IsAFolder,  // the target's name is taken by a folder
    InProc,     // a folder no one can make a file in
    Empty,      // an empty path
};

enum class Disk {
    Plain,
    Full,      // the folder is a tmpfs of 64 KiB, too small for what is written
    ReadOnly,  // the folder is bound over itself read-only
};

struct Case {
    const char* name;
    int oldMode;  // -1: no file at the target yet
    int folderMode;
    Target target;
    Disk disk;
    int modeAfter;  // -1: refused, the old file stays as it was
};

// All under a umask of 027: a new file shows it follows the umask, a replaced one that it
// does not. Where the road is pointed elsewhere, the older file beside it stays too.
const Case cases[] = {
    {"new file", -1, 0755, Target::Plain, Disk::Plain, 0640},
    {"writable 0644", 0644, 0755, Target::Plain, Disk::Plain, 0644},
    {"writable 0600", 0600, 0755, Target::Plain, Disk::Plain, 0600},
    {"writable 0640", 0640, 0755, Target::Plain, Disk::Plain, 0640},
    {"writable 0604", 0604, 0755, Target::Plain, Disk::Plain, 0604},
    {"read-only 0444", 0444, 0755, Target::Plain, Disk::Plain, -1},
    {"read-only 0544", 0544, 0755, Target::Plain, Disk::Plain, -1},
    {"owner cannot write 0464", 0464, 0755, Target::Plain, Disk::Plain, -1},
    {"read-only folder", 0644, 0555, Target::Plain, Disk::Plain, -1},  // refused by its bits, for root too
    {"through a link", 0640, 0755, Target::ThroughLink, Disk::Plain, 0640},
    {"folder that is a regular file", 0644, 0755, Target::UnderARegularFile, Disk::Plain, -1},
    {"missing folder", 0644, 0755, Target::InMissingFolder, Disk::Plain, -1},
    {"target is a folder", -1, 0755, Target::IsAFolder, Disk::Plain, -1},
    {"in /proc", 0644, 0755, Target::InProc, Disk::Plain, -1},
    {"empty path", 0644, 0755, Target::Empty, Disk::Plain, -1},
    {"full disk", 0644, 0755, Target::Plain, Disk::Full, -1},
    {"read-only file system", 0644, 0755, Target::Plain, Disk::ReadOnly, -1},
};

// Each road, and the name its file has in the program.
struct Road {
    const char* name;
    const char* file;
};
const Road roads[] = {
    {"file", "out.jpg"},
    {"service", "Pelk.ini"},
    {"bitmap", "out.bmp"},
    {"jpeg", "out.jpg"},
};

// What a road writes: bytes for the first two, a picture for the bitmap save, and a bitmap
// of that picture for the encoder to read.
struct Input {
    QByteArray content;
    QImage picture;
    QString source;
};

// Writes through one road; false when the write was refused or failed. The temporary
// file's mode is seen on the first road only.
bool write(const QString& road, const QString& target, const Input& input, int* temporaryMode)
{
    try {
        if (road == QLatin1String("service")) {
            RealFileService().replace(target, input.content);
            return true;
        }
        if (road == QLatin1String("bitmap")) {
            RealPictureService().saveBitmap(input.picture, target);
            return true;
        }
    } catch (const Failure& failure) {
        if (failure.kind() != FailureKind::WriteFailed)
            throw;  // fails the case: a refused write has this kind alone
        return false;
    }
    if (road == QLatin1String("jpeg")) {
        QByteArray destination = QFile::encodeName(target);
        return LibjpegEncoder().SavetoJPEG(QFile::encodeName(input.source), destination, 100, false) == 0;
    }
    ReplacingFile replacing(target);
    if (!replacing.open())
        return false;
    *temporaryMode = modeOf(replacing.device().fileName());
    return replacing.device().write(input.content) == input.content.size() && replacing.commit();
}

// The picture in the file as a reader of that format alone sees it.
QImage decoded(const QString& path, const char* format)
{
    QImageReader reader(path, format);
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

class Umask {
public:
    explicit Umask(mode_t mask) : before_(::umask(mask)) { }
    ~Umask() { ::umask(before_); }
    Umask(const Umask&) = delete;
    Umask& operator=(const Umask&) = delete;

private:
    mode_t before_;
};

}  // namespace

class TestReplacingFile : public QObject {
    Q_OBJECT

private slots:
    void replaces_data()
    {
        QTest::addColumn<int>("oldMode");
        QTest::addColumn<int>("folderMode");
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("disk");
        QTest::addColumn<int>("modeAfter");
        QTest::addColumn<QString>("road");
        QTest::addColumn<QString>("name");
        for (const Case& c : cases)
            for (const Road& road : roads)
                QTest::addRow("%s, %s", c.name, road.name)
                    << c.oldMode << c.folderMode << int(c.target) << int(c.disk) << c.modeAfter
                    << QString::fromLatin1(road.name) << QString::fromLatin1(road.file);
    }

    void replaces()
    {
        QFETCH(int, oldMode);
        QFETCH(int, folderMode);
        QFETCH(int, target);
        QFETCH(int, disk);
        QFETCH(int, modeAfter);
        QFETCH(QString, road);
        QFETCH(QString, name);
        const auto where = Target(target);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString folder = dir.filePath(QStringLiteral("out"));
        QVERIFY(QDir().mkpath(folder));
        std::optional<ScratchMount> mount;
        if (Disk(disk) != Disk::Plain && !runningAsRoot())
            QSKIP("mounting a file system over the folder needs root");
        if (Disk(disk) == Disk::Full) {
            mount.emplace(folder, QStringLiteral("64k"));
            QVERIFY2(mount->ok(), "running as root, yet cannot mount a tmpfs");
        }

        // On the small disk, far more than it holds; elsewhere a little.
        const bool large = Disk(disk) == Disk::Full;
        Input input;
        input.content = large ? QByteArray(256 * 1024, 'n') : QByteArray("the new content");
        input.picture = large ? photoLike(800, 600) : photoLike(40, 30);
        input.source = dir.filePath(QStringLiteral("source.bmp"));
        if (road == QLatin1String("jpeg"))
            writeBytes(input.source, makeBmp(input.picture, BmpLayout::Rgb24).bytes);

        const QString file = folder + u'/' + name;
        const QByteArray older = "an older file, to be kept as it is";
        if (oldMode >= 0) {
            writeBytes(file, older);
            QVERIFY(setMode(file, oldMode));
        }
        const QString plain = folder + QStringLiteral("/plain.txt");
        const QByteArray plainText = "a file, not a folder";
        const QString inProc = QStringLiteral("/proc/pelk-road-test-") + name;
        std::optional<WorkingDirectory> inFolder;
        QString path = file;
        switch (where) {
        case Target::Plain:
            break;
        case Target::ThroughLink:
            path = dir.filePath(QStringLiteral("link-") + name);
            QVERIFY(QFile::link(file, path));
            break;
        case Target::UnderARegularFile:
            writeBytes(plain, plainText);
            path = plain + u'/' + name;
            break;
        case Target::InMissingFolder:
            path = folder + QStringLiteral("/missing/") + name;
            break;
        case Target::IsAFolder:
            QVERIFY(QDir(folder).mkdir(name));
            break;
        case Target::InProc:
            path = inProc;
            break;
        case Target::Empty:
            inFolder.emplace(folder);  // where a file without a folder would land
            path.clear();
            break;
        }
        const QStringList before = entries(folder);

        bool written = false;
        int temporaryMode = -1;
        bool folderSet = false;
        bool boundReadOnly = true;
        {
            const Umask mask(027);
            folderSet = setMode(folder, folderMode);
            std::optional<ReadOnlyBind> bind;
            if (Disk(disk) == Disk::ReadOnly) {
                bind.emplace(folder);
                boundReadOnly = bind->ok();
            }
            if (folderSet && boundReadOnly)
                written = write(road, path, input, &temporaryMode);
        }
        setMode(folder, 0755);
        inFolder.reset();

        QVERIFY(folderSet);
        QVERIFY2(boundReadOnly, "running as root, yet cannot bind the folder read-only");
        QCOMPARE(written, modeAfter >= 0);
        // Not even the temporary file is open to more people than the final one.
        if (temporaryMode >= 0)
            QCOMPARE(temporaryMode & ~(written ? modeAfter : oldMode) & 0777, 0);
        if (where == Target::IsAFolder) {
            QVERIFY(QFileInfo(file).isDir());
            QCOMPARE(entries(file), QStringList());
        } else {
            QCOMPARE(modeOf(file), written ? modeAfter : oldMode);
        }
        if (!written && oldMode >= 0)
            QCOMPARE(readBytes(file), older);
        QCOMPARE(entries(folder), written && oldMode < 0 ? QStringList{name} : before);
        QCOMPARE(QFileInfo(path).isSymLink(), where == Target::ThroughLink);
        if (where == Target::UnderARegularFile)
            QCOMPARE(readBytes(plain), plainText);
        QVERIFY(!QFileInfo::exists(inProc));
        if (!written)
            return;

        // What was written, read back by Qt's own readers.
        if (road == QLatin1String("bitmap")) {
            const QImage saved = decoded(file, "bmp");
            QCOMPARE(saved.size(), input.picture.size());
            QCOMPARE(saved.convertToFormat(QImage::Format_RGB32), input.picture.convertToFormat(QImage::Format_RGB32));
        } else if (road == QLatin1String("jpeg")) {
            const QImage saved = decoded(file, "jpeg");
            QCOMPARE(saved.size(), input.picture.size());
            const double quality = psnr(input.picture, saved);
            QVERIFY2(quality > 30, qPrintable(QString::number(quality)));
        } else {
            QCOMPARE(readBytes(file), input.content);
        }
    }

    void asAnUnprivilegedUser()
    {
        if (!runningAsRoot())
            QSKIP("not root: the cases above already ran without root's rights");
        QStringList names;
        for (const Case& c : cases)
            for (const Road& road : roads)
                if (c.disk == Disk::Plain)
                    names << QStringLiteral("replaces:%1, %2").arg(QLatin1String(c.name), QLatin1String(road.name));
        const QString problem = runAsNobody(names);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
};

QTEST_GUILESS_MAIN(TestReplacingFile)
#include "test_replacing_file.moc"