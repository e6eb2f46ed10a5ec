// A preview of a very large picture is thinned out before it is smoothed (smoothing
// every pixel of a 48-megapixel picture takes longer than decoding it): what is shown
// must still look like the whole picture smoothed down, detail and noise included.
#include "support/files.h"

#include "view/picture_box.h"

#include <QTest>

using namespace pelk;
using namespace pelk::test;

class PreviewScalingTest : public QObject {
    Q_OBJECT

private slots:
    void largePictureLooksSmoothed_data()
    {
        QTest::addColumn<QSize>("pictureSize");
        QTest::addColumn<QSize>("box");
        QTest::newRow("12x smaller, photo") << QSize(3000, 2000) << QSize(248, 165);
        QTest::newRow("just above the thinning point") << QSize(2100, 1400) << QSize(248, 165);
        QTest::newRow("tall picture, wide box") << QSize(1200, 4000) << QSize(120, 60);
        QTest::newRow("small enough to smooth directly") << QSize(900, 600) << QSize(248, 165);
    }

    void largePictureLooksSmoothed()
    {
        QFETCH(QSize, pictureSize);
        QFETCH(QSize, box);
        const QImage picture =
            photoLike(pictureSize.width(), pictureSize.height(), 7).convertToFormat(QImage::Format_RGB32);
        PictureView view;
        view.resize(box + QSize(2 * view.frameWidth(), 2 * view.frameWidth()));
        view.setPicture(picture);

        const QImage shown = view.shownPixmap().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown.size(), view.contentsRect().size());
        // The reference: every pixel of the picture averaged into the box.
        const QImage reference = picture.scaled(shown.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const double quality = psnr(reference, shown);
        QVERIFY2(quality > 28.0, qPrintable(QStringLiteral("PSNR %1 dB").arg(quality)));

        // Nearest-pixel sampling alone keeps the noise and misses the edges' average: it
        // lands some 12 dB further from the reference.
        const QImage sampled = picture.scaled(shown.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
        QVERIFY(quality > psnr(reference, sampled) + 8.0);
    }
};

QTEST_MAIN(PreviewScalingTest)
#include "test_preview_scaling.moc"
