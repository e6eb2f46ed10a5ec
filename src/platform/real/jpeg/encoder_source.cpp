#include "platform/real/jpeg/encoder_source.h"

#include "platform/real/pictures/held_picture.h"
#include "platform/real/pictures/picture_reader.h"
#include "platform/real/pictures/picture_tools.h"

namespace pelk {
namespace {

bool grayPalette(const QImage& picture)
{
    if (picture.colorCount() == 0)
        return false;
    for (QRgb colour : picture.colorTable())
        if (qRed(colour) != qGreen(colour) || qGreen(colour) != qBlue(colour))
            return false;
    return true;
}

// Brings the picture into a layout libjpeg-turbo reads directly. The common 24- and
// 32-bit bitmaps are used in place; palette, 16-bit and transparent pictures need one
// converted copy.
void makeReadable(QImage& picture)
{
    switch (picture.format()) {
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBA8888_Premultiplied:
        // A bitmap's unused alpha is settled by its own reader; a picture that still has
        // alpha here is composed over white even when every pixel is invisible, as the
        // bitmap a press writes of it is.
        if (transparencyOf(picture) != Transparency::None)
            picture = flattenOnWhite(picture);
        else if (picture.format() == QImage::Format_ARGB32_Premultiplied
                 || picture.format() == QImage::Format_RGBA8888_Premultiplied)
            picture = picture.convertToFormat(QImage::Format_RGB32);
        break;
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8:
        picture = grayPalette(picture) ? picture.convertToFormat(QImage::Format_Grayscale8) : flattenOnWhite(picture);
        break;
    case QImage::Format_RGB32:
    case QImage::Format_RGBX8888:
    case QImage::Format_RGB888:
    case QImage::Format_BGR888:
    case QImage::Format_Grayscale8:
        break;
    default:
        picture = flattenOnWhite(picture);
        break;
    }
}

// A picture made readable, as libjpeg-turbo names its layout.
EncoderPixels pixelsOf(const QImage& picture)
{
    J_COLOR_SPACE space = rgb32Space;
    int components = 4;
    switch (picture.format()) {
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888:
        space = JCS_EXT_RGBX;
        break;
    case QImage::Format_RGB888:
        space = JCS_EXT_RGB;
        components = 3;
        break;
    case QImage::Format_BGR888:
        space = JCS_EXT_BGR;
        components = 3;
        break;
    case QImage::Format_Grayscale8:
        space = JCS_GRAYSCALE;
        components = 1;
        break;
    default:  // RGB32 and ARGB32 with its alpha ignored
        break;
    }
    return {picture.constBits(), picture.bytesPerLine(), picture.width(), picture.height(), components, space};
}

}  // namespace

MaybeProblem EncoderSource::read(const QString& path, const HeldPicture* held)
{
    if (std::optional<QImage> picture = held ? held->of(path) : std::nullopt)
        return use(*std::move(picture));
    plain_ = openPlainBitmap(path);
    if (plain_) {
        const PlainBitmap& layout = plain_->layout;
        fileRows_.emplace(*plain_->file, layout);
        pixels_ = {nullptr,
                   0,
                   layout.width,
                   layout.height,
                   layout.bytesPerPixel,
                   layout.bytesPerPixel == 3 ? JCS_EXT_BGR : JCS_EXT_BGRX,
                   &*fileRows_};
        return std::nullopt;
    }
    PictureRead read = readPicture(path);
    if (read.problem)
        return read.problem;
    return use(std::move(read.picture));
}

MaybeProblem EncoderSource::use(QImage picture)
{
    picture_ = std::move(picture);
    makeReadable(picture_);
    pixels_ = pixelsOf(picture_);
    if (pixels_.bits == nullptr)  // the converted copy could not be allocated
        return Problem{FailureKind::ReadFailed, QStringLiteral("no memory for the converted picture")};
    return std::nullopt;
}

}  // namespace pelk
