#include "support/corpus_files.h"

#include "platform/real/jpeg/libjpeg_support.h"
#include "support/files.h"
#include "support/gif_writer.h"
#include "support/image_bmp.h"

#include <QBuffer>
#include <QImageWriter>
#include <QtEndian>

#include <vector>

namespace pelk::test {
namespace {

using Expect = CorpusExpect;

void put16le(QByteArray& out, quint32 v)
{
    out += char(v & 0xff);
    out += char((v >> 8) & 0xff);
}
void put32le(QByteArray& out, quint32 v)
{
    put16le(out, v & 0xffff);
    put16le(out, v >> 16);
}
void set32le(QByteArray& bytes, int at, quint32 v) { qToLittleEndian(v, bytes.data() + at); }
void set16le(QByteArray& bytes, int at, quint16 v) { qToLittleEndian(v, bytes.data() + at); }

QByteArray encoded(const QImage& picture, const char* format, int quality = 90, bool progressive = false)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(picture))
        qFatal("cannot encode %s", format);
    return buffer.data();
}

// Where a marker's segment starts (at its 0xFF), or -1.
qsizetype findMarker(const QByteArray& jpeg, int marker)
{
    for (qsizetype i = 2; i + 1 < jpeg.size(); ++i)
        if (uchar(jpeg[i]) == 0xff && uchar(jpeg[i + 1]) == marker)
            return i;
    return -1;
}

// The frame header's size fields rewritten: the file then declares another size than it holds.
QByteArray withDeclaredSize(QByteArray jpeg, int width, int height)
{
    qsizetype at = findMarker(jpeg, 0xc0);
    if (at < 0)
        at = findMarker(jpeg, 0xc2);
    if (at < 0)
        qFatal("no frame header");
    qToBigEndian(quint16(height), jpeg.data() + at + 5);
    qToBigEndian(quint16(width), jpeg.data() + at + 7);
    return jpeg;
}

// Where the longest scan's coded data lie: from the end of its header up to the marker
// that ends it. The file must be one an encoder wrote, marker after marker.
std::pair<qsizetype, qsizetype> longestScan(const QByteArray& jpeg)
{
    std::pair<qsizetype, qsizetype> longest{0, 0};
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && uchar(jpeg[at + 1]) != 0xd9) {
        const int marker = uchar(jpeg[at + 1]);
        at += 2 + qFromBigEndian<quint16>(jpeg.constData() + at + 2);
        if (marker != 0xda)
            continue;
        const qsizetype start = at;
        for (; at + 1 < jpeg.size(); ++at) {
            const int next = uchar(jpeg[at + 1]);
            if (uchar(jpeg[at]) == 0xff && next != 0x00 && (next < 0xd0 || next > 0xd7))
                break;
        }
        if (at - start > longest.second - longest.first)
            longest = {start, at};
    }
    if (longest.second - longest.first < 64)
        qFatal("no scan long enough to damage");
    return longest;
}

// The JPEG with `count` extra scans before its end marker, each of them empty: a DC
// refinement of the first component, one bit a block that is never there.
QByteArray withEmptyScans(const QByteArray& jpeg, int count)
{
    const QByteArray scan("\xff\xda\x00\x08\x01\x01\x00\x00\x00\x10", 10);
    const qsizetype end = jpeg.lastIndexOf("\xff\xd9");
    return jpeg.left(end) + scan.repeated(count) + jpeg.mid(end);
}

// A Huffman table whose code counts add up to more codes than can exist.
QByteArray withBogusHuffmanTable(QByteArray jpeg)
{
    const qsizetype at = findMarker(jpeg, 0xc4);
    if (at < 0)
        qFatal("no Huffman table");
    for (int i = 0; i < 16; ++i)
        jpeg[at + 5 + i] = char(0xff);
    return jpeg;
}

// An 8-bit run-length bitmap of the given stream, over a 16-entry palette.
QByteArray rle8Bitmap(int width, int height, const QByteArray& stream)
{
    std::vector<QRgb> palette;
    for (int i = 0; i < 16; ++i)
        palette.push_back(qRgb(i * 16, 255 - i * 16, 0x40));
    return bmpAroundData(BmpLayout::Rle8, width, height, stream, {.palette = palette});
}

// Rows of runs: `rows` rows, each one run of the width in colour (row % 15) + 1.
QByteArray rleRows(int width, int rows, bool endMark = true)
{
    QByteArray s;
    for (int y = 0; y < rows; ++y) {
        s += char(width);
        s += char(y % 15 + 1);
        s += QByteArray("\0\0", 2);
    }
    if (endMark) {
        s.chop(2);
        s += QByteArray("\0\1", 2);
    }
    return s;
}

// An icon file holding one PNG-compressed entry, as icons of 256 pixels are stored.
QByteArray pngIcon(const QImage& picture)
{
    const QByteArray png = encoded(picture, "PNG");
    QByteArray bytes;
    put16le(bytes, 0);
    put16le(bytes, 1);  // icon
    put16le(bytes, 1);  // one entry
    bytes += char(picture.width() >= 256 ? 0 : picture.width());
    bytes += char(picture.height() >= 256 ? 0 : picture.height());
    bytes += char(0);
    bytes += char(0);
    put16le(bytes, 1);
    put16le(bytes, 32);
    put32le(bytes, quint32(png.size()));
    put32le(bytes, 6 + 16);
    return bytes + png;
}

// libjpeg's errors come back as the program's own encoder takes them; the pixels and
// options are the fixture's.
bool compressInto(jpeg_compress_struct* cinfo, LibjpegErrors* errors, unsigned char** out, unsigned long* size,
                  const QImage* rgb, const JpegOptions* options)
{
    if (setjmp(errors->jump))
        return false;
    jpeg_create_compress(cinfo);
    jpeg_mem_dest(cinfo, out, size);
    cinfo->image_width = JDIMENSION(rgb->width());
    cinfo->image_height = JDIMENSION(rgb->height());
    cinfo->input_components = options->gray ? 1 : options->cmyk ? 4 : 3;
    cinfo->in_color_space = options->gray ? JCS_GRAYSCALE : options->cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(cinfo);
    if (options->cmyk && options->plainCmyk)
        jpeg_set_colorspace(cinfo, JCS_CMYK);
    jpeg_set_quality(cinfo, options->quality, TRUE);
    if (options->fullChroma)
        for (int c = 0; c < cinfo->num_components; ++c)
            cinfo->comp_info[c].h_samp_factor = cinfo->comp_info[c].v_samp_factor = 1;
    if (options->progressive)
        jpeg_simple_progression(cinfo);
    cinfo->restart_in_rows = options->restartRows;
    jpeg_start_compress(cinfo, TRUE);
    std::vector<JSAMPLE> row(size_t(rgb->width()) * 4);
    while (cinfo->next_scanline < cinfo->image_height) {
        const uchar* in = rgb->constScanLine(int(cinfo->next_scanline));
        for (int x = 0; x < rgb->width(); ++x) {
            const int r = in[3 * x], g = in[3 * x + 1], b = in[3 * x + 2];
            if (options->gray) {
                row[x] = JSAMPLE((r * 299 + g * 587 + b * 114) / 1000);
            } else if (options->cmyk) {
                // Adobe writes CMYK inverted: 255 is no ink.
                const int k = 255 - qMax(r, qMax(g, b));
                row[4 * x] = JSAMPLE(255 - (255 - r - k));
                row[4 * x + 1] = JSAMPLE(255 - (255 - g - k));
                row[4 * x + 2] = JSAMPLE(255 - (255 - b - k));
                row[4 * x + 3] = JSAMPLE(255 - k);
            } else {
                row[3 * x] = JSAMPLE(r);
                row[3 * x + 1] = JSAMPLE(g);
                row[3 * x + 2] = JSAMPLE(b);
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(cinfo, rows, 1);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

void add(std::vector<CorpusFile>& corpus, const QString& name, const QByteArray& bytes, Expect expect, QSize shown = {})
{
    corpus.push_back({name, bytes, expect, shown});
}

}  // namespace

QByteArray makeJpeg(const QImage& picture, const JpegOptions& options)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    Compressor cinfo(new jpeg_compress_struct{});
    LibjpegErrors errors;
    cinfo->err = useErrors(errors);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const bool ok = compressInto(cinfo.get(), &errors, &out, &size, &rgb, &options);
    cinfo.reset();
    QByteArray bytes = ok ? QByteArray(reinterpret_cast<const char*>(out), qsizetype(size)) : QByteArray();
    free(out);
    if (!ok)
        qFatal("libjpeg could not encode the test picture: %s", errors.error);
    return bytes;
}

QByteArray withExifOrientation(const QByteArray& jpeg, int orientation, bool bigEndian)
{
    const auto field = [](quint32 value, int bytes, bool big) {  // in the given byte order
        QByteArray out;
        for (int i = 0; i < bytes; ++i)
            out += char(value >> 8 * (big ? bytes - 1 - i : i));
        return out;
    };
    const auto tiff = [&](quint32 value, int bytes) { return field(value, bytes, bigEndian); };
    const QByteArray body = QByteArray("Exif\0\0", 6) + (bigEndian ? "MM" : "II") + tiff(42, 2)
        + tiff(8, 4)                                  // the first directory, at 8
        + tiff(1, 2)                                  // of one entry:
        + tiff(0x0112, 2) + tiff(3, 2) + tiff(1, 4)   // Orientation, one SHORT,
        + tiff(quint32(orientation), 2) + tiff(0, 2)  // left-justified
        + tiff(0, 4);                                 // and no next directory
    return jpeg.left(2) + "\xff\xe1" + field(quint32(body.size() + 2), 2, true) + body + jpeg.mid(2);
}

QByteArray damagedJpeg(const QByteArray& jpeg, JpegDamage damage)
{
    const auto [start, end] = longestScan(jpeg);
    const qsizetype middle = (start + end) / 2;
    switch (damage) {
    case JpegDamage::HeaderBytes: {
        qsizetype frame = findMarker(jpeg, 0xc0);
        if (frame < 0)
            frame = findMarker(jpeg, 0xc2);
        return jpeg.left(frame) + QByteArray(8, '\x55') + jpeg.mid(frame);
    }
    case JpegDamage::ExtraneousBytes:
        // More than the decoder's bit buffer takes in ahead of need.
        return jpeg.left(end) + QByteArray(64, '\x55') + jpeg.mid(end);
    case JpegDamage::BadHuffmanCode:
        return jpeg.left(middle) + QByteArray("\xff\x00", 2).repeated(8) + jpeg.mid(middle + 16);
    case JpegDamage::CutShort:
        return jpeg.left(middle);
    case JpegDamage::CutShortEnded:
        return jpeg.left(middle) + QByteArray("\xff\xd9", 2);
    }
    qFatal("unknown damage");
}

std::vector<CorpusFile> hostileCorpus()
{
    std::vector<CorpusFile> c;
    const QImage photo = photoLike(61, 45, 7);  // odd sizes: rows need padding
    const QSize size = photo.size();

    // Bitmaps of every common layout.
    const struct {
        const char* name;
        BmpLayout layout;
        BmpOptions options;
    } layouts[] = {
        {"palette1.bmp", BmpLayout::Palette1, {}},
        {"palette4.bmp", BmpLayout::Palette4, {}},
        {"palette8.bmp", BmpLayout::Palette8, {}},
        {"gray8.bmp", BmpLayout::Gray8, {}},
        {"rle4.bmp", BmpLayout::Rle4, {}},
        {"rle8.bmp", BmpLayout::Rle8, {}},
        {"rgb555.bmp", BmpLayout::Rgb555, {}},
        {"rgb565 bitfields.bmp", BmpLayout::Rgb565, {}},
        {"rgb24.bmp", BmpLayout::Rgb24, {}},
        {"rgb24 top-down.bmp", BmpLayout::Rgb24, {true, 0}},
        {"rgb32.bmp", BmpLayout::Rgb32, {}},
        {"rgb32 V4 bitfields.bmp", BmpLayout::Bitfields32, {}},
        {"rgba32 V5.bmp", BmpLayout::Alpha32, {}},
        {"zero alpha32 V5.bmp", BmpLayout::ZeroAlpha32, {}},
        {"rgb24 V5 header.bmp", BmpLayout::Rgb24, {false, 124}},
        {"palette8 V4 top-down.bmp", BmpLayout::Palette8, {true, 108}},
    };
    for (const auto& l : layouts)
        add(c, l.name, makeBmp(photo, l.layout, l.options).bytes, Expect::Converts, size);
    add(c, "one pixel.bmp", makeBmp(photoLike(1, 1), BmpLayout::Rgb24).bytes, Expect::Converts, {1, 1});
    add(c, "odd width 3.bmp", makeBmp(photoLike(3, 5), BmpLayout::Palette4).bytes, Expect::Converts, {3, 5});
    add(c, "os2 core header.bmp", makeBmp(photo, BmpLayout::Rgb24, {.infoHeaderSize = 12}).bytes, Expect::Converts,
        size);
    // Run-length bitmaps that end early or skip pixels are valid: the rest is background.
    add(c, "rle8 early end.bmp", rle8Bitmap(20, 10, rleRows(20, 4)), Expect::Converts, {20, 10});
    add(c, "rle8 delta skip.bmp", rle8Bitmap(20, 10, rleRows(20, 3, false) + QByteArray("\0\2\5\3\4\7\0\1", 8)),
        Expect::Converts, {20, 10});
    // Named .bmp, holding another kind of picture: read by its content.
    add(c, "png named.bmp", encoded(photo, "PNG"), Expect::Converts, size);
    add(c, "jpeg named.bmp", encoded(photo, "JPG"), Expect::Converts, size);

    // Hostile bitmaps.
    const QByteArray rgb24 = makeBmp(photo, BmpLayout::Rgb24).bytes;
    const QByteArray rle8 = makeBmp(photo, BmpLayout::Rle8).bytes;
    add(c, "empty.bmp", {}, Expect::Refused);
    add(c, "text.bmp", "This is not a picture at all.\r\n", Expect::Refused);
    add(c, "header only.bmp", rgb24.left(54), Expect::Refused);
    add(c, "cut in the pixels.bmp", rgb24.left(rgb24.size() / 2), Expect::Refused);
    add(c, "cut one byte short.bmp", rgb24.left(rgb24.size() - 4), Expect::Refused);
    add(c, "rle8 cut short.bmp", rle8.left(rle8.size() / 2), Expect::Refused);
    {
        QByteArray b = rgb24;
        set32le(b, 18, 0);
        add(c, "zero width.bmp", b, Expect::Refused);
        b = rgb24;
        set32le(b, 22, 0);
        add(c, "zero height.bmp", b, Expect::Refused);
        b = rgb24;
        set32le(b, 18, quint32(-61));
        add(c, "negative width.bmp", b, Expect::Refused);
        b = rgb24;
        set32le(b, 10, quint32(b.size() + 1000));
        add(c, "pixel offset past the end.bmp", b, Expect::Refused);
        b = rgb24;
        set16le(b, 28, 0);
        add(c, "bit count 0.bmp", b, Expect::Refused);
        b = rgb24;
        set16le(b, 28, 7);
        add(c, "bit count 7.bmp", b, Expect::Refused);
        b = makeBmp(photo, BmpLayout::Palette8).bytes;
        set32le(b, 46, 100000);  // colours used
        add(c, "palette of 100000 colours.bmp", b, Expect::Refused);
        b = makeBmp(photo, BmpLayout::Palette4).bytes;
        set32le(b, 46, 256);  // more colours than 4 bits can index
        add(c, "palette larger than 4 bits.bmp", b, Expect::Refused);
    }
    add(c, "huge declared size.bmp", bmpHeaderOnly(30000, 30000), Expect::Refused);
    add(c, "within-limit size, no pixels.bmp", bmpHeaderOnly(10000, 10000), Expect::Refused);
    add(c, "rle8 run past the row.bmp", rle8Bitmap(20, 10, QByteArray("\xc8\x03\0\1", 4)), Expect::Refused);
    add(c, "rle8 runs past the picture.bmp", rle8Bitmap(20, 4, rleRows(20, 12)), Expect::Refused);
    add(c, "rle8 literal run past the row.bmp",
        rle8Bitmap(4, 2, QByteArray("\0\x40", 2) + QByteArray(64, '\x02') + QByteArray("\0\1", 2)), Expect::Refused);
    add(c, "rle8 skip out of the picture.bmp", rle8Bitmap(20, 10, QByteArray("\0\2\xff\xff\0\1", 6)), Expect::Refused);

    // JPEGs.
    const QImage big = photoLike(320, 240, 3);
    const QByteArray baseline = encoded(big, "JPG", 85);
    const QByteArray progressive = encoded(big, "JPG", 85, true);
    add(c, "baseline.jpg", baseline, Expect::Converts, big.size());
    add(c, "progressive.jpg", progressive, Expect::Converts, big.size());
    add(c, "444.jpg", makeJpeg(big, {85, false, true}), Expect::Converts, big.size());
    add(c, "444 progressive.jpg", makeJpeg(big, {85, true, true}), Expect::Converts, big.size());
    add(c, "gray.jpg", makeJpeg(big, {85, false, false, true}), Expect::Converts, big.size());
    add(c, "cmyk.jpg", makeJpeg(big, {85, false, false, false, true}), Expect::Converts, big.size());
    add(c, "cmyk, not ycck.jpg", makeJpeg(big, {85, false, false, false, true, 0, true}), Expect::Converts, big.size());
    add(c, "restart markers.jpg", makeJpeg(big, {85, false, false, false, false, 1}), Expect::Converts, big.size());
    add(c, "exif orientation 6.jpg", withExifOrientation(baseline, 6), Expect::Converts, big.size().transposed());
    add(c, "exif orientation 8, big-endian.jpg", withExifOrientation(baseline, 8, true), Expect::Converts,
        big.size().transposed());
    add(c, "one pixel.jpg", encoded(photoLike(1, 1), "JPG"), Expect::Converts, {1, 1});
    add(c, "trailing bytes after the end.jpg", baseline + QByteArray(100, 'x'), Expect::Converts, big.size());
    for (int percent : {10, 50, 90})
        add(c, QStringLiteral("cut at %1 percent.jpg").arg(percent), baseline.left(baseline.size() * percent / 100),
            Expect::Refused);
    add(c, "progressive cut at 60 percent.jpg", progressive.left(progressive.size() * 6 / 10), Expect::Refused);
    add(c, "no end marker.jpg", baseline.left(baseline.size() - 2), Expect::Refused);
    add(c, "only the start marker.jpg", baseline.left(2), Expect::Refused);
    add(c, "bogus huffman table.jpg", withBogusHuffmanTable(baseline), Expect::Refused);
    {
        QByteArray scrambled = baseline;
        const qsizetype data = findMarker(scrambled, 0xda) + 14;
        for (qsizetype i = data + 200; i < data + 600 && i < scrambled.size() - 2; i += 3)
            scrambled[i] = char(uchar(scrambled[i]) ^ 0x5a);
        add(c, "scrambled picture data.jpg", scrambled, Expect::Refused);
    }
    // Stray bytes that libjpeg steps over with a warning: the picture is whole.
    add(c, "extraneous bytes before the end marker.jpg", damagedJpeg(baseline, JpegDamage::ExtraneousBytes),
        Expect::Converts, big.size());
    add(c, "progressive, extraneous bytes after a scan.jpg", damagedJpeg(progressive, JpegDamage::ExtraneousBytes),
        Expect::Converts, big.size());
    // Damage that libjpeg reads past with a warning, on each road a JPEG takes.
    add(c, "bad huffman code.jpg", damagedJpeg(baseline, JpegDamage::BadHuffmanCode), Expect::Refused);
    add(c, "exif orientation 6, bad huffman code.jpg",
        damagedJpeg(withExifOrientation(baseline, 6), JpegDamage::BadHuffmanCode), Expect::Refused);
    add(c, "declares 60000x60000.jpg", withDeclaredSize(baseline, 60000, 60000), Expect::Refused);
    add(c, "declares 16000x16000.jpg", withDeclaredSize(baseline, 16000, 16000), Expect::Refused);
    // Tiny files that declare a size within the pixel limit: the data cannot fill it.
    add(c, "progressive declares 10900x10900.jpg",
        withDeclaredSize(encoded(photoLike(16, 16), "JPG", 50, true), 10900, 10900), Expect::Refused);
    add(c, "444 progressive declares 10900x10900.jpg",
        withDeclaredSize(makeJpeg(photoLike(16, 16), {50, true, true}), 10900, 10900), Expect::Refused);
    add(c, "40000 empty scans.jpg", withEmptyScans(progressive, 40000), Expect::Refused);
    add(c, "450 empty scans on 2000x2000.jpg",
        withEmptyScans(withDeclaredSize(encoded(photoLike(16, 16), "JPG", 50, true), 2000, 2000), 450),
        Expect::Refused);

    // GIFs.
    const QImage small = photoLike(40, 30, 5);
    add(c, "still.gif", makeGif(small), Expect::Converts, small.size());
    {
        std::vector<GifFrame> frames;
        for (int i = 0; i < 3; ++i)
            frames.push_back({photoLike(40, 30, 10 + i), 0, 0, -1, false, i == 2, 10});
        add(c, "animated.gif", makeGif(frames), Expect::Converts, {40, 30});
        const QByteArray animated = makeGif(frames);
        add(c, "animated cut in the second frame.gif", animated.left(animated.size() * 2 / 3), Expect::Converts,
            {40, 30});
    }
    add(c, "transparent.gif", makeGif({GifFrame{small, 0, 0, 0}}), Expect::Converts, small.size());
    add(c, "interlaced.gif", makeGif({GifFrame{small, 0, 0, -1, true}}), Expect::Converts, small.size());
    add(c, "local colour table.gif", makeGif({GifFrame{small, 0, 0, -1, false, true}}), Expect::Converts, small.size());
    add(c, "small frame on a larger screen.gif", makeGif({GifFrame{small, 5, 7}}, QSize(60, 50)), Expect::Converts,
        {60, 50});
    const QByteArray gif = makeGif(small);
    add(c, "cut in the header.gif", gif.left(10), Expect::Refused);
    add(c, "cut in the picture.gif", gif.left(gif.size() / 2), Expect::Refused);
    add(c, "no picture.gif", gif.left(13 + 3 * 256) + char(0x3b), Expect::Refused);
    add(c, "no trailer.gif", gif.left(gif.size() - 1), Expect::Converts, small.size());
    // Cut in the picture's data, the blocks ended and the trailer put back: Qt's reader
    // would show the rest in the background colour.
    add(c, "cut in the picture, blocks ended.gif", gifCutInItsPicture(gif), Expect::Refused);
    {
        QByteArray huge = gif;
        set16le(huge, 6, 65535);
        set16le(huge, 8, 65535);
        add(c, "logical screen 65535x65535.gif", huge, Expect::Refused);
        QByteArray wide = gif;
        set16le(wide, 6, 20000);
        set16le(wide, 8, 20000);
        add(c, "logical screen 20000x20000.gif", wide, Expect::Refused);
    }

    // Icons: shown, then refused with an apology at the press.
    const QImage icon = photoLike(32, 32, 9).convertToFormat(QImage::Format_ARGB32);
    const QByteArray ico = encoded(icon, "ICO");
    add(c, "icon 32x32.ico", ico, Expect::Apology, {32, 32});
    add(c, "icon with a PNG entry.ico", pngIcon(photoLike(48, 48, 4)), Expect::Apology, {48, 48});
    add(c, "icon cut short.ico", ico.left(ico.size() / 2), Expect::Refused);
    return c;
}

}  // namespace pelk::test
