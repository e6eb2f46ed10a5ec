// The road every output and Pelk.ini is written by, on each of the four ways in: the
// outputs' ReplacingFile itself, the file service's replace() that saves the settings, the
// bitmap save and the JPEG encoder. One table of targets for all: which ones are refused,
// the bits a written file gets, and what a refusal, a full disk or a read-only file system
// leaves (the older file as it was, no temporary file). The permission cases run again as
// the user nobody, whose rights, unlike root's, the bits also stop. A dropped picture is
// reached through links by the same rule as these files.
#include "platform/real/file_service.h"
#include "platform/real/files/replacing_file.h"
#include "platform/real/jpeg/libjpeg_encoder.h"
#include "platform/real/picture_service.h"
#include "platform/services.h"
#include "support/failures.h"
#include "support/files.h"
#include "support/image_bmp.h"
#include "support/permissions.h"
#include "support/scratch_mount.h"
#include "window/failure.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace pelk;
using namespace pelk::test;

Q_DECLARE_METATYPE(pelk::FailureKind)

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
    int modeAfter;                               // -1: refused, the old file stays as it was
    FailureKind why = FailureKind::WriteFailed;  // the reason a refused write gives
};

constexpr FailureKind denied = FailureKind::NoPermission;

// All under a umask of 027: a new file shows it follows the umask, a replaced one that it
// does not. Where the road is pointed elsewhere, the older file beside it stays too.
const Case cases[] = {
    {"new file", -1, 0755, Target::Plain, Disk::Plain, 0640},
    {"writable 0644", 0644, 0755, Target::Plain, Disk::Plain, 0644},
    {"writable 0600", 0600, 0755, Target::Plain, Disk::Plain, 0600},
    {"writable 0640", 0640, 0755, Target::Plain, Disk::Plain, 0640},
    {"writable 0604", 0604, 0755, Target::Plain, Disk::Plain, 0604},
    {"read-only 0444", 0444, 0755, Target::Plain, Disk::Plain, -1, denied},
    {"read-only 0544", 0544, 0755, Target::Plain, Disk::Plain, -1, denied},
    {"owner cannot write 0464", 0464, 0755, Target::Plain, Disk::Plain, -1, denied},
    {"read-only folder", 0644, 0555, Target::Plain, Disk::Plain, -1, denied},  // refused by its bits, for root too
    {"through a link", 0640, 0755, Target::ThroughLink, Disk::Plain, 0640},
    {"folder that is a regular file", 0644, 0755, Target::UnderARegularFile, Disk::Plain, -1},
    {"missing folder", 0644, 0755, Target::InMissingFolder, Disk::Plain, -1},
    {"target is a folder", -1, 0755, Target::IsAFolder, Disk::Plain, -1, FailureKind::NotAFile},
    {"in /proc", 0644, 0755, Target::InProc, Disk::Plain, -1, denied},
    {"empty path", 0644, 0755, Target::Empty, Disk::Plain, -1},
    {"full disk", 0644, 0755, Target::Plain, Disk::Full, -1, FailureKind::DiskFull},
    {"read-only file system", 0644, 0755, Target::Plain, Disk::ReadOnly, -1, denied},
};

// Each road, and the name its file has in the program.
struct Road {
    const char* name;
    const char* file;
};
const Road roads[] = {
    {"file", "out.jpg"},     {"file in pieces", "out.jpg"},  // writeAll, as the bytes made ahead are written
    {"service", "Pelk.ini"}, {"bitmap", "out.bmp"},         {"jpeg", "out.jpg"},
};

// What a road writes: bytes for the first two, a picture for the bitmap save, and a bitmap
// of that picture for the encoder to read.
struct Input {
    QByteArray content;
    QImage picture;
    QString source;
};

// Writes through one road: nothing when written, else the reason the road gave. The
// temporary file's mode is seen on the first road only.
std::optional<FailureKind> write(const QString& road, const QString& target, const Input& input, int* temporaryMode)
{
    if (road == QLatin1String("service"))
        return thrownKind([&] { RealFileService().replace(target, input.content); });
    if (road == QLatin1String("bitmap"))
        return thrownKind([&] { RealPictureService().saveBitmap(input.picture, target); });
    if (road == QLatin1String("jpeg")) {
        QByteArray destination = QFile::encodeName(target);
        const std::int16_t result =
            LibjpegEncoder().SavetoJPEG(QFile::encodeName(input.source), destination, 100, false);
        if (result == encoderResult::written)
            return std::nullopt;
        return encoderResult::toFailure(result);
    }
    ReplacingFile replacing(target);
    if (const MaybeProblem problem = replacing.open())
        return problem->kind;
    *temporaryMode = modeOf(replacing.temporaryPath());
    if (road == QLatin1String("file in pieces") ? !replacing.writeAll(input.content)
                                                : replacing.device().write(input.content) != input.content.size())
        return replacing.writeProblem().kind;
    if (const MaybeProblem problem = replacing.commit())
        return problem->kind;
    return std::nullopt;
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

// Files of other users, and links they planted: who may write what is the system's
// question, asked as the user who runs the program. Each row is made by root, for root
// itself (the other user is nobody) and for a run as nobody (the other user is root).
// A third user owns the shared folders, as root owns /tmp.
struct People {
    uid_t me;
    gid_t myGroup;
    uid_t other;
    gid_t otherGroup;
};
constexpr uid_t third = 1;  // daemon
constexpr People rootRun{0, 0, 65534, 65534};
constexpr People nobodyRun{65534, 65534, 0, 0};

enum class Scene {
    OthersLinkInShared,       // another user's link in a world-writable sticky folder
    OwnLinkInShared,          // the user's own link there
    FolderOwnersLink,         // the link of the shared folder's owner
    OthersLinkInStickyOnly,   // another user's link in a sticky folder not open to all
    OthersDanglingLink,       // another user's link to a file not yet there
    DotDotPastALinkedFolder,  // the user's own dangling link "sub/../made", sub a link to a folder
    OthersFile0640,           // another user's file in the user's folder
    OthersGroupWritableFile,  // another user's file, writable through the user's group
    Fifo,                     // a FIFO where the file should be
};

struct Outcome {
    bool written;
    FailureKind why;
};
constexpr Outcome writes{true, FailureKind::WriteFailed};
constexpr Outcome foreign{false, FailureKind::ForeignFile};

struct ForeignCase {
    const char* name;
    Scene scene;
    Outcome asRoot;
    Outcome asUser;
};

const ForeignCase foreignCases[] = {
    {"another user's link in a shared folder", Scene::OthersLinkInShared, foreign, foreign},
    {"own link in a shared folder", Scene::OwnLinkInShared, writes, writes},
    {"the folder owner's link", Scene::FolderOwnersLink, writes, writes},
    {"another user's link in a sticky folder not open to all", Scene::OthersLinkInStickyOnly, writes, writes},
    {"another user's dangling link in a shared folder", Scene::OthersDanglingLink, foreign, foreign},
    {"own dangling link with .. past a linked folder", Scene::DotDotPastALinkedFolder, writes, writes},
    {"another user's 0640 file", Scene::OthersFile0640, writes, {false, FailureKind::NoPermission}},
    {"another user's group-writable file", Scene::OthersGroupWritableFile, writes, foreign},
    {"a FIFO", Scene::Fifo, {false, FailureKind::NotAFile}, {false, FailureKind::NotAFile}},
};

// Where a row writes, and what it looks at afterwards.
struct Scenery {
    QString path;    // what the program is told to write
    QString victim;  // the file the write must reach (written) or leave alone (refused)
    QString link;    // a link that must stay a link, naming what it named
    QString linkTarget;
    QString unreached;  // a file that must not come to be
    QString source;     // the bitmap the encoder reads
};

bool own(const QString& path, uid_t uid, gid_t gid)
{
    return ::lchown(QFile::encodeName(path).constData(), uid, gid) == 0;
}

// The row's files under `base`; made only when `make` (as root), else only named.
void scenery(Scenery& s, Scene scene, const QString& base, const QString& name, const People& p, bool make)
{
    const QString mine = base + QStringLiteral("/mine");
    const QString shared = base + QStringLiteral("/shared");
    s.source = base + QStringLiteral("/source.bmp");
    s.victim = mine + u'/' + name;
    s.path = s.victim;
    const auto link = [&](const QString& folder, const QString& target, uid_t owner, const QString& prefix = {}) {
        s.link = folder + u'/' + prefix + name;
        s.linkTarget = target;
        s.path = s.link;
        if (make)
            QVERIFY(QFile::link(target, s.link) && own(s.link, owner, owner == p.me ? p.myGroup : p.otherGroup));
    };
    const auto folder = [&](const QString& path, int mode, uid_t owner) {
        if (make)
            QVERIFY(QDir().mkpath(path) && own(path, owner, owner) && setMode(path, mode));
    };
    const auto file = [&](const QString& path, int mode, uid_t owner, gid_t group) {
        if (make) {
            writeBytes(path, "an older file, to be kept as it is");
            QVERIFY(own(path, owner, group) && setMode(path, mode));
        }
    };
    if (make) {
        QVERIFY(QDir().mkpath(base));
        QVERIFY(setMode(base, 0755));
        writeBytes(s.source, makeBmp(photoLike(40, 30), BmpLayout::Rgb24).bytes);
        QVERIFY(setMode(s.source, 0644));
    }
    folder(mine, 0755, p.me);
    folder(shared, 01777, third);
    switch (scene) {
    case Scene::OthersLinkInShared:
        file(s.victim, 0644, p.me, p.myGroup);
        link(shared, s.victim, p.other);
        break;
    case Scene::OwnLinkInShared:
        file(s.victim, 0644, p.me, p.myGroup);
        link(shared, s.victim, p.me);
        break;
    case Scene::FolderOwnersLink: {
        const QString theirs = base + QStringLiteral("/theirs");
        folder(theirs, 01777, p.other);
        file(s.victim, 0644, p.me, p.myGroup);
        link(theirs, s.victim, p.other);
        break;
    }
    case Scene::OthersLinkInStickyOnly: {
        const QString sticky = base + QStringLiteral("/sticky");
        folder(sticky, 01775, third);
        file(s.victim, 0644, p.me, p.myGroup);
        link(sticky, s.victim, p.other);
        break;
    }
    case Scene::OthersDanglingLink:
        link(shared, s.victim, p.other);
        s.unreached = s.victim;
        break;
    case Scene::DotDotPastALinkedFolder: {
        // The kernel climbs from where "sub" leads; cleaned as text it would stay in mine.
        const QString deep = base + QStringLiteral("/elsewhere/deep");
        folder(base + QStringLiteral("/elsewhere"), 0755, p.me);
        folder(deep, 0755, p.me);
        if (make)
            QVERIFY(QFile::link(deep, mine + QStringLiteral("/sub"))
                    && own(mine + QStringLiteral("/sub"), p.me, p.myGroup));
        link(mine, QStringLiteral("sub/../") + name, p.me, QStringLiteral("link-"));
        s.victim = base + QStringLiteral("/elsewhere/") + name;
        s.unreached = mine + u'/' + name;
        break;
    }
    case Scene::OthersFile0640:
        file(s.victim, 0640, p.other, p.otherGroup);
        break;
    case Scene::OthersGroupWritableFile:
        file(s.victim, 0664, p.other, p.myGroup);
        break;
    case Scene::Fifo:
        if (make)
            QVERIFY(::mkfifo(QFile::encodeName(s.victim).constData(), 0666) == 0 && own(s.victim, p.me, p.myGroup));
        break;
    }
}

struct Owner {
    bool exists = false;
    uid_t uid = 0;
    gid_t gid = 0;
    int mode = 0;
    bool operator==(const Owner&) const = default;
};

Owner ownerOf(const QString& path)
{
    struct stat st { };
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {true, st.st_uid, st.st_gid, int(st.st_mode & 07777)};
}

// A link's own text, not cleaned or resolved.
QString readLink(const QString& path)
{
    char text[4096];
    const ssize_t length = ::readlink(QFile::encodeName(path).constData(), text, sizeof text);
    return length < 0 ? QString() : QFile::decodeName(QByteArray(text, length));
}

const char foreignFixtures[] = "PELK_FOREIGN_FIXTURES";

// A dropped picture is reached through links as the file written beside it would be: a
// link planted in a shared folder would otherwise have the user copy out what it names.
struct ReadCase {
    const char* name;
    Scene scene;
    bool read;
};
const ReadCase readCases[] = {
    {"another user's link in a shared folder", Scene::OthersLinkInShared, false},
    {"own link in a shared folder", Scene::OwnLinkInShared, true},
    {"the folder owner's link", Scene::FolderOwnersLink, true},
    {"another user's link in a sticky folder not open to all", Scene::OthersLinkInStickyOnly, true},
};
// Each way a source is read: its preview at the drop (a bitmap, a JPEG), and the encoder.
const Road readers[] = {{"bitmap drop", "picture.bmp"}, {"jpeg drop", "picture.jpg"}, {"encoder", "picture.bmp"}};

QString readTag(const ReadCase& c, const Road& reader)
{
    return QStringLiteral("%1, %2").arg(QLatin1String(c.name), QLatin1String(reader.name));
}

// The row's picture, put into the file the link names (kept its owner's: written in place).
void readScenery(Scenery& s, const ReadCase& c, const QString& base, const Road& reader, const People& p, bool make)
{
    scenery(s, c.scene, base, QLatin1String(reader.file), p, make);
    if (!make || QTest::currentTestFailed())
        return;
    if (QByteArrayView(reader.file).endsWith(".jpg")) {
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && photoLike(40, 30).save(&buffer, "JPG"));
        writeBytes(s.victim, jpeg);
    } else {
        writeBytes(s.victim, makeBmp(photoLike(40, 30), BmpLayout::Rgb24).bytes);
    }
}

QString foreignTag(const ForeignCase& c, const Road& road)
{
    return QStringLiteral("%1, %2").arg(QLatin1String(c.name), QLatin1String(road.name));
}

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
        QTest::addColumn<FailureKind>("why");
        QTest::addColumn<QString>("road");
        QTest::addColumn<QString>("name");
        for (const Case& c : cases)
            for (const Road& road : roads)
                QTest::addRow("%s, %s", c.name, road.name)
                    << c.oldMode << c.folderMode << int(c.target) << int(c.disk) << c.modeAfter << c.why
                    << QString::fromLatin1(road.name) << QString::fromLatin1(road.file);
    }

    void replaces()
    {
        QFETCH(int, oldMode);
        QFETCH(int, folderMode);
        QFETCH(int, target);
        QFETCH(int, disk);
        QFETCH(int, modeAfter);
        QFETCH(FailureKind, why);
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

        std::optional<FailureKind> refused = FailureKind::InvalidValue;
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
                refused = write(road, path, input, &temporaryMode);
        }
        setMode(folder, 0755);
        inFolder.reset();

        QVERIFY(folderSet);
        QVERIFY2(boundReadOnly, "running as root, yet cannot bind the folder read-only");
        const bool written = !refused;
        QCOMPARE(written, modeAfter >= 0);
        if (refused)
            QCOMPARE(*refused, why);
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

    void othersFiles_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("road");
        QTest::addColumn<QString>("name");
        for (std::size_t i = 0; i < std::size(foreignCases); ++i)
            for (const Road& road : roads)
                QTest::newRow(qPrintable(foreignTag(foreignCases[i], road)))
                    << int(i) << QString::fromLatin1(road.name) << QString::fromLatin1(road.file);
    }

    void othersFiles()
    {
        QFETCH(int, index);
        QFETCH(QString, road);
        QFETCH(QString, name);
        const ForeignCase& c = foreignCases[index];
        // As nobody the files were made by root beforehand; as root they are made here.
        const QString made = qEnvironmentVariable(foreignFixtures);
        QTemporaryDir dir;
        const bool asRoot = made.isEmpty();
        if (asRoot && !runningAsRoot())
            QSKIP("files of another user can only be made by root: run as root to test these");
        const QString base = (asRoot ? dir.path() : made) + u'/' + QString::number(index) + u'-' + road;
        Scenery s;
        scenery(s, c.scene, base, name, asRoot ? rootRun : nobodyRun, asRoot);
        if (QTest::currentTestFailed())
            return;
        const Outcome expected = asRoot ? c.asRoot : c.asUser;
        const Owner before = ownerOf(s.victim);
        const QByteArray older = before.exists && c.scene != Scene::Fifo ? readBytes(s.victim) : QByteArray();
        const QStringList mineBefore = entries(base + QStringLiteral("/mine"));

        Input input;
        input.content = "the new content";
        input.picture = photoLike(40, 30);
        input.source = s.source;
        int temporaryMode = -1;
        const std::optional<FailureKind> refused = write(road, s.path, input, &temporaryMode);

        QCOMPARE(!refused, expected.written);
        if (refused)
            QCOMPARE(*refused, expected.why);
        if (!s.link.isEmpty()) {
            QVERIFY(QFileInfo(s.link).isSymLink());
            QCOMPARE(readLink(s.link), s.linkTarget);
        }
        if (!s.unreached.isEmpty())
            QVERIFY(!QFileInfo::exists(s.unreached));
        if (!expected.written) {
            QCOMPARE(ownerOf(s.victim), before);
            if (!older.isEmpty())
                QCOMPARE(readBytes(s.victim), older);
            QCOMPARE(entries(base + QStringLiteral("/mine")), mineBefore);
            return;
        }
        // A replaced file is still its owner's, in its group, with its bits.
        const Owner after = ownerOf(s.victim);
        QVERIFY(after.exists);
        if (before.exists)
            QCOMPARE(after, before);
        if (road == QLatin1String("bitmap"))
            QCOMPARE(decoded(s.victim, "bmp").size(), input.picture.size());
        else if (road == QLatin1String("jpeg"))
            QCOMPARE(decoded(s.victim, "jpeg").size(), input.picture.size());
        else
            QCOMPARE(readBytes(s.victim), input.content);
    }

    void othersFilesAsAnUnprivilegedUser()
    {
        if (!runningAsRoot())
            QSKIP("files of another user can only be made by root: run as root to test these");
        // In /tmp: nobody must be able to reach it.
        QTemporaryDir fixtures(QStringLiteral("/tmp/pelk-foreign-XXXXXX"));
        QVERIFY(fixtures.isValid() && setMode(fixtures.path(), 0755));
        QStringList names;
        for (std::size_t i = 0; i < std::size(foreignCases); ++i)
            for (const Road& road : roads) {
                const QString base = fixtures.path() + u'/' + QString::number(i) + u'-' + QLatin1String(road.name);
                Scenery s;
                scenery(s, foreignCases[i].scene, base, QLatin1String(road.file), nobodyRun, true);
                if (QTest::currentTestFailed())
                    return;
                names << QStringLiteral("othersFiles:") + foreignTag(foreignCases[i], road);
            }
        qputenv(foreignFixtures, QFile::encodeName(fixtures.path()));
        const QString problem = runAsNobody(names);
        qunsetenv(foreignFixtures);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void othersLinksRead_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("reader");
        for (std::size_t i = 0; i < std::size(readCases); ++i)
            for (std::size_t r = 0; r < std::size(readers); ++r)
                QTest::newRow(qPrintable(readTag(readCases[i], readers[r]))) << int(i) << int(r);
    }

    void othersLinksRead()
    {
        QFETCH(int, index);
        QFETCH(int, reader);
        const ReadCase& c = readCases[index];
        const Road& how = readers[reader];
        const QString made = qEnvironmentVariable(foreignFixtures);
        QTemporaryDir dir;
        const bool asRoot = made.isEmpty();
        if (asRoot && !runningAsRoot())
            QSKIP("files of another user can only be made by root: run as root to test these");
        const QString base = (asRoot ? dir.path() : made) + QStringLiteral("/read-%1-%2").arg(index).arg(reader);
        Scenery s;
        readScenery(s, c, base, how, asRoot ? rootRun : nobodyRun, asRoot);
        if (QTest::currentTestFailed())
            return;

        if (QLatin1String(how.name) == QLatin1String("encoder")) {
            const QString output = base + QStringLiteral("/mine/read-output.jpg");  // the user's folder
            QByteArray destination = QFile::encodeName(output);
            const std::int16_t result = LibjpegEncoder().SavetoJPEG(QFile::encodeName(s.path), destination, 90, false);
            QCOMPARE(result == encoderResult::written, c.read);
            if (c.read)
                QCOMPARE(decoded(output, "jpeg").size(), QSize(40, 30));
            else
                QVERIFY(!QFileInfo::exists(output));
            QFile::remove(output);
            return;
        }
        QImage shown;
        const std::optional<FailureKind> refused =
            thrownKind([&] { shown = RealPictureService().loadShownFirst(s.path, QSize(40, 30)); });
        QCOMPARE(!refused, c.read);
        if (refused)
            QCOMPARE(*refused, FailureKind::ForeignFile);
        else
            QCOMPARE(shown.size(), QSize(40, 30));
    }

    void othersLinksReadAsAnUnprivilegedUser()
    {
        if (!runningAsRoot())
            QSKIP("files of another user can only be made by root: run as root to test these");
        QTemporaryDir fixtures(QStringLiteral("/tmp/pelk-foreign-XXXXXX"));
        QVERIFY(fixtures.isValid() && setMode(fixtures.path(), 0755));
        QStringList names;
        for (std::size_t i = 0; i < std::size(readCases); ++i)
            for (std::size_t r = 0; r < std::size(readers); ++r) {
                const QString base = fixtures.path() + QStringLiteral("/read-%1-%2").arg(i).arg(r);
                Scenery s;
                readScenery(s, readCases[i], base, readers[r], nobodyRun, true);
                if (QTest::currentTestFailed())
                    return;
                names << QStringLiteral("othersLinksRead:") + readTag(readCases[i], readers[r]);
            }
        qputenv(foreignFixtures, QFile::encodeName(fixtures.path()));
        const QString problem = runAsNobody(names);
        qunsetenv(foreignFixtures);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
};

QTEST_GUILESS_MAIN(TestReplacingFile)
#include "test_replacing_file.moc"