// The order in which a written file reaches the disk, seen from outside the program: the
// calls into the C library are wrapped at link time (this test alone is linked with
// -Wl,--wrap), so every fsync and rename the writing roads make is recorded. The new
// file must be synced before it replaces the old one, and the folder after: otherwise a
// power cut may leave an empty file under the old name, or bring the old file back.
#include "platform/real/file_service.h"
#include "platform/real/jpeg/libjpeg_encoder.h"
#include "platform/real/picture_service.h"
#include "support/files.h"
#include "support/image_bmp.h"

#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList calls;

QString kindOf(int fd)
{
    struct stat st { };
    if (::fstat(fd, &st) != 0)
        return QStringLiteral("?");
    return S_ISDIR(st.st_mode) ? QStringLiteral("folder") : QStringLiteral("file");
}

}  // namespace

extern "C" {
int __real_fsync(int fd);
int __real_rename(const char* from, const char* to);
int __real_renameat(int fromFolder, const char* from, int toFolder, const char* to);

int __wrap_fsync(int fd)
{
    calls << QStringLiteral("sync ") + kindOf(fd);
    return __real_fsync(fd);
}
int __wrap_rename(const char* from, const char* to)
{
    calls << QStringLiteral("rename");
    return __real_rename(from, to);
}
int __wrap_renameat(int fromFolder, const char* from, int toFolder, const char* to)
{
    calls << QStringLiteral("rename");
    return __real_renameat(fromFolder, from, toFolder, to);
}
}

using namespace pelk;
using namespace pelk::test;

class WriteOrderTest : public QObject {
    Q_OBJECT

private slots:
    void syncedBeforeTheRenameAndTheFolderAfter_data()
    {
        QTest::addColumn<QString>("road");
        QTest::addColumn<bool>("replacing");
        for (const char* road : {"settings", "bitmap", "jpeg"}) {
            QTest::addRow("%s, new file", road) << QString::fromLatin1(road) << false;
            QTest::addRow("%s, over an older file", road) << QString::fromLatin1(road) << true;
        }
    }
    void syncedBeforeTheRenameAndTheFolderAfter()
    {
        QFETCH(QString, road);
        QFETCH(bool, replacing);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QImage picture = photoLike(40, 30);
        const QString source = dir.filePath(QStringLiteral("source.bmp"));
        writeBytes(source, makeBmp(picture, BmpLayout::Rgb24).bytes);
        const QString target = dir.filePath(road == u"jpeg" ? QStringLiteral("out.jpg") : QStringLiteral("out"));
        if (replacing)
            writeBytes(target, "an older file");

        calls.clear();
        if (road == u"settings") {
            RealFileService().replace(target, "75\r\n 0 \r\n 0 \r\n");
        } else if (road == u"bitmap") {
            RealPictureService().saveBitmap(picture, target);
        } else {
            QByteArray destination = QFile::encodeName(target);
            QCOMPARE(LibjpegEncoder().SavetoJPEG(QFile::encodeName(source), destination, 75, false), 0);
        }
        const QStringList seen = calls;
        calls.clear();

        QCOMPARE(seen,
                 (QStringList{QStringLiteral("sync file"), QStringLiteral("rename"), QStringLiteral("sync folder")}));
        QVERIFY(readBytes(target) != "an older file");
    }
};

QTEST_GUILESS_MAIN(WriteOrderTest)
#include "test_write_order.moc"
