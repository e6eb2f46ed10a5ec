// A press whose output could not be written, on the fake platform: the user is told which
// file and why, under the window's title; the press then ends as a failed press does.
#include "app/wiring.h"
#include "support/fakes.h"
#include "support/files.h"
#include "window/window_model.h"

#include <QTemporaryDir>
#include <QTest>

using namespace pelk;
using namespace pelk::test;

Q_DECLARE_METATYPE(pelk::FailureKind)

class PressFailuresTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<WorkingDirectory> cwd;

private slots:
    void init() { cwd = std::make_unique<WorkingDirectory>(dir.path()); }
    void cleanup() { cwd.reset(); }

    // The bitmap save throws its reason; the encoder returns it as a number.
    void theFailedWriteIsNamed_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<FailureKind>("saveFails");
        QTest::addColumn<int>("encoderResult");
        QTest::addColumn<QString>("reason");
        const FailureKind none = FailureKind::InvalidValue;  // unused in the bitmap branch
        QTest::newRow("bitmap: no permission")
            << "jpg" << FailureKind::NoPermission << 0 << QStringLiteral("書き込む権限がありません。");
        QTest::newRow("bitmap: disk full")
            << "gif" << FailureKind::DiskFull << 0 << QStringLiteral("ディスクの空き容量が足りません。");
        QTest::newRow("bitmap: another user's file")
            << "jpg" << FailureKind::ForeignFile << 0 << QStringLiteral("ほかのユーザーのファイルです。");
        QTest::newRow("bitmap: no regular file")
            << "jpg" << FailureKind::NotAFile << 0 << QStringLiteral("通常のファイルではありません。");
        QTest::newRow("bitmap: the save failed")
            << "jpg" << FailureKind::WriteFailed << 0 << QStringLiteral("ファイルを保存できませんでした。");
        QTest::newRow("JPEG: no permission") << "bmp" << none << 3 << QStringLiteral("書き込む権限がありません。");
        QTest::newRow("JPEG: disk full") << "bmp" << none << 5 << QStringLiteral("ディスクの空き容量が足りません。");
        QTest::newRow("JPEG: another user's file")
            << "bmp" << none << 6 << QStringLiteral("ほかのユーザーのファイルです。");
        QTest::newRow("JPEG: no regular file")
            << "bmp" << none << 7 << QStringLiteral("通常のファイルではありません。");
        QTest::newRow("JPEG: the write failed")
            << "bmp" << none << 8 << QStringLiteral("ファイルを保存できませんでした。");
        QTest::newRow("JPEG: the encoder failed")
            << "bmp" << none << 4 << QStringLiteral("JPEG に変換できませんでした。");
        QTest::newRow("JPEG: the source is gone")
            << "bmp" << none << 1 << QStringLiteral("JPEG に変換できませんでした。");
    }
    void theFailedWriteIsNamed()
    {
        QFETCH(QString, type);
        QFETCH(FailureKind, saveFails);
        QFETCH(int, encoderResult);
        QFETCH(QString, reason);
        FakePlatform f;
        f.pictures.failSaves = true;
        f.pictures.failSavesAs = saveFails;
        f.encoder.result = std::int16_t(encoderResult);
        WindowModel w;
        connectHandlers(w, f.platform);
        const QString output = dir.filePath(type == u"bmp" ? QStringLiteral("出力.jpg") : QStringLiteral("出力.bmp"));
        w.Label1.setCaption(dir.filePath(QStringLiteral("出力.") + type));
        w.Image1.setPicture(photoLike(8, 8));
        w.Text1.setText(output);
        w.Text3.setText(type);
        w.Text2.setText(QStringLiteral("75"));

        w.Command1.click();
        QCOMPARE(f.encoder.calls.size(), std::size_t(type == u"bmp" ? 1 : 0));
        QCOMPARE(f.messages.texts(),
                 QStringList{QStringLiteral("次のファイルを保存できません。\n%1\n\n%2").arg(output, reason)});
        QCOMPARE(f.messages.shown[0].title, WindowModel::caption);
        QCOMPARE(f.files.replaced, QStringList());  // no settings saved
        QVERIFY(w.Image2.picture().isNull());
        QCOMPARE(w.Text3.text(), output);

        // The second press converts nothing, and says nothing.
        w.Command1.click();
        QCOMPARE(f.messages.shown.size(), std::size_t(1));
    }
};

QTEST_GUILESS_MAIN(PressFailuresTest)
#include "test_press_failures.moc"
