// What the real platform logs when it refuses a file or a picture: one debug line in the
// program's own category, naming the file, when that category's debug lines are turned
// on; nothing at all otherwise, and never a warning.

#include "platform/real/file_service.h"
#include "platform/real/picture_service.h"
#include "support/files.h"
#include "support/gif_writer.h"
#include "support/permissions.h"
#include "window/failure.h"

#include <QBuffer>
#include <QDir>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace pelk;
using namespace pelk::test;

Q_DECLARE_METATYPE(pelk::FailureKind)

namespace {

struct Logged {
    QtMsgType type;
    QString category;
    QString text;
};

QList<Logged> lines;

void record(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    lines.append({type, QString::fromLatin1(context.category ? context.category : ""), text});
}

// Everything logged while `run` runs, the category's debug lines on or off.
QList<Logged> logOf(bool debugOn, const std::function<void()>& run)
{
    QLoggingCategory::setFilterRules(debugOn ? QStringLiteral("pelk17.*.debug=true")
                                             : QStringLiteral("pelk17.*.debug=false"));
    lines.clear();
    const QtMessageHandler before = qInstallMessageHandler(record);
    run();
    qInstallMessageHandler(before);
    QLoggingCategory::setFilterRules(QString());
    return lines;
}

QByteArray cutShort(const QImage& picture, const char* format)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, format))
        qFatal("cannot encode %s", format);
    return buffer.data().left(buffer.data().size() / 2);
}

enum class Scene { DamagedJpeg, DamagedGif, DamagedBitmap, Fifo, OthersLink, NoFolder };
enum class Road { Load, ReadStart, Replace };

// Another user's link to a file of ours, in a world-writable sticky folder of a third
// user's: as /tmp with fs.protected_symlinks, it is not followed.
QString othersLink(const QString& base)
{
    const QString target = base + QStringLiteral("/mine.jpg");
    writeBytes(target, cutShort(photoLike(16, 16), "JPEG"));
    const QString shared = base + QStringLiteral("/shared");
    const QByteArray link = QFile::encodeName(shared + QStringLiteral("/theirs.jpg"));
    if (!QDir().mkpath(shared) || ::chmod(QFile::encodeName(shared).constData(), 01777) != 0
        || ::lchown(QFile::encodeName(shared).constData(), 65534, 65534) != 0
        || ::symlink(QFile::encodeName(target).constData(), link.constData()) != 0
        || ::lchown(link.constData(), 65533, 65533) != 0)
        qFatal("cannot make another user's link");
    return QFile::decodeName(link);
}

// The path a row refuses, made under `base`.
QString make(Scene scene, const QString& base)
{
    const QString path = base + QStringLiteral("/refused");
    switch (scene) {
    case Scene::DamagedJpeg:
        writeBytes(path, cutShort(photoLike(64, 48), "JPEG"));
        return path;
    case Scene::DamagedGif:
        writeBytes(path, gifCutInItsPicture(makeGif(photoLike(64, 48))));
        return path;
    case Scene::DamagedBitmap:
        writeBytes(path, cutShort(photoLike(64, 48), "BMP"));
        return path;
    case Scene::Fifo:
        if (::mkfifo(QFile::encodeName(path).constData(), 0600) != 0)
            qFatal("cannot make a FIFO");
        return path;
    case Scene::OthersLink:
        return othersLink(base);
    case Scene::NoFolder:
        return base + QStringLiteral("/no such folder/settings.ini");
    }
    return path;
}

// The kind of failure the road reports for the path; none when it did not fail.
std::optional<FailureKind> take(Road road, const QString& path)
{
    try {
        switch (road) {
        case Road::Load:
            RealPictureService().load(path);
            break;
        case Road::ReadStart:
            RealFileService().readStart(path, 64);
            break;
        case Road::Replace:
            RealFileService().replace(path, "new settings");
            break;
        }
    } catch (const Failure& failure) {
        return failure.kind();
    }
    return std::nullopt;
}

}  // namespace

class TestProblemLog : public QObject {
    Q_OBJECT

private slots:
    void refusalsAreLogged_data()
    {
        QTest::addColumn<Scene>("scene");
        QTest::addColumn<Road>("road");
        QTest::addColumn<FailureKind>("kind");
        QTest::addColumn<bool>("debugOn");
        struct Row {
            const char* name;
            Scene scene;
            Road road;
            FailureKind kind;
        };
        const Row rows[] = {
            {"a JPEG cut short", Scene::DamagedJpeg, Road::Load, FailureKind::NotAPicture},
            {"a GIF cut short", Scene::DamagedGif, Road::Load, FailureKind::NotAPicture},
            {"a bitmap cut short", Scene::DamagedBitmap, Road::Load, FailureKind::NotAPicture},
            {"a FIFO dropped", Scene::Fifo, Road::Load, FailureKind::NotAFile},
            {"a FIFO for the settings", Scene::Fifo, Road::ReadStart, FailureKind::NotAFile},
            {"another user's link dropped", Scene::OthersLink, Road::Load, FailureKind::ForeignFile},
            {"another user's link written", Scene::OthersLink, Road::Replace, FailureKind::ForeignFile},
            {"settings written into no folder", Scene::NoFolder, Road::Replace, FailureKind::WriteFailed},
        };
        for (const Row& row : rows) {
            for (const bool on : {true, false})
                QTest::addRow("%s, debug %s", row.name, on ? "on" : "off") << row.scene << row.road << row.kind << on;
        }
    }

    void refusalsAreLogged()
    {
        QFETCH(Scene, scene);
        QFETCH(Road, road);
        QFETCH(FailureKind, kind);
        QFETCH(bool, debugOn);
        if (scene == Scene::OthersLink && !runningAsRoot())
            QSKIP("files of another user can only be made by root: run as root to test this row");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = make(scene, dir.path());

        std::optional<FailureKind> refused;
        const QList<Logged> logged = logOf(debugOn, [&] { refused = take(road, path); });

        QVERIFY(refused.has_value());
        QCOMPARE(*refused, kind);
        if (!debugOn) {
            QCOMPARE(logged.size(), 0);
            return;
        }
        QCOMPARE(logged.size(), 1);
        QCOMPARE(logged[0].type, QtDebugMsg);
        QCOMPARE(logged[0].category, QStringLiteral("pelk17.problems"));
        QVERIFY2(logged[0].text.contains(path), qPrintable(logged[0].text));
    }
};

QTEST_GUILESS_MAIN(TestProblemLog)
#include "test_problem_log.moc"
