#include "support/gif_writer.h"

namespace pelk::test {
namespace {

void put16(QByteArray& out, int v)
{
    out += char(v & 0xff);
    out += char((v >> 8) & 0xff);
}

// The smallest n with 2^n >= colours, at least 1: GIF tables hold 2^n entries.
int tableBits(int colours)
{
    int bits = 1;
    while ((1 << bits) < colours)
        ++bits;
    return bits;
}

void putTable(QByteArray& out, const QList<QRgb>& colours, int bits)
{
    for (int i = 0; i < (1 << bits); ++i) {
        const QRgb c = i < colours.size() ? colours[i] : 0;
        out += char(qRed(c));
        out += char(qGreen(c));
        out += char(qBlue(c));
    }
}

// LZW with a clear code often enough that codes never grow past 9 bits: larger than
// real compression, but every decoder must read it.
QByteArray lzw(const QByteArray& indices)
{
    const int clear = 256, end = 257;
    QByteArray data;
    quint32 accumulator = 0;
    int bits = 0;
    auto putCode = [&](int code) {
        accumulator |= quint32(code) << bits;
        bits += 9;
        while (bits >= 8) {
            data += char(accumulator & 0xff);
            accumulator >>= 8;
            bits -= 8;
        }
    };
    int sinceClear = 0;
    putCode(clear);
    for (char index : indices) {
        if (sinceClear == 250) {
            putCode(clear);
            sinceClear = 0;
        }
        putCode(uchar(index));
        ++sinceClear;
    }
    putCode(end);
    if (bits > 0)
        data += char(accumulator & 0xff);

    QByteArray blocks;
    blocks += char(8);  // minimum code size
    for (qsizetype i = 0; i < data.size(); i += 255) {
        const QByteArray chunk = data.mid(i, 255);
        blocks += char(chunk.size());
        blocks += chunk;
    }
    blocks += char(0);
    return blocks;
}

QByteArray rowsInOrder(const QImage& indexed, bool interlaced)
{
    QList<int> order;
    if (interlaced) {
        for (int pass : {0, 1, 2, 3}) {
            const int start[] = {0, 4, 2, 1};
            const int step[] = {8, 8, 4, 2};
            for (int y = start[pass]; y < indexed.height(); y += step[pass])
                order << y;
        }
    } else {
        for (int y = 0; y < indexed.height(); ++y)
            order << y;
    }
    QByteArray out;
    for (int y : order)
        out += QByteArray(reinterpret_cast<const char*>(indexed.constScanLine(y)), indexed.width());
    return out;
}

}  // namespace

QImage gifIndexed(const QImage& picture)
{
    if (picture.format() == QImage::Format_Indexed8)
        return picture;
    return picture.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
}

QByteArray makeGif(const std::vector<GifFrame>& frames, QSize screen)
{
    if (frames.empty())
        return {};
    const QImage first = gifIndexed(frames.front().picture);
    if (!screen.isValid())
        screen = first.size();
    const QList<QRgb> global = first.colorTable();
    const int globalBits = tableBits(int(global.size()));

    QByteArray out("GIF89a");
    put16(out, screen.width());
    put16(out, screen.height());
    out += char(0x80 | ((globalBits - 1) << 4) | (globalBits - 1));
    out += char(0);  // background colour index
    out += char(0);  // aspect
    putTable(out, global, globalBits);
    if (frames.size() > 1) {  // loop forever
        out += QByteArray("\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    }
    for (const GifFrame& frame : frames) {
        const QImage indexed = gifIndexed(frame.picture);
        out += char(0x21);
        out += char(0xf9);
        out += char(4);
        out += char(frame.transparentIndex >= 0 ? 1 : 0);
        put16(out, frame.delayCentiseconds);
        out += char(frame.transparentIndex >= 0 ? frame.transparentIndex : 0);
        out += char(0);

        out += char(0x2c);
        put16(out, frame.left);
        put16(out, frame.top);
        put16(out, indexed.width());
        put16(out, indexed.height());
        const int localBits = tableBits(int(indexed.colorTable().size()));
        char flags = frame.interlaced ? 0x40 : 0;
        if (frame.localPalette)
            flags = char(flags | 0x80 | (localBits - 1));
        out += flags;
        if (frame.localPalette)
            putTable(out, indexed.colorTable(), localBits);
        out += lzw(rowsInOrder(indexed, frame.interlaced));
    }
    out += char(0x3b);
    return out;
}

QByteArray makeGif(const QImage& picture) { return makeGif({GifFrame{picture}}); }

GifPicture firstGifPicture(const QByteArray& gif)
{
    const auto u8 = [&gif](qsizetype at) { return at < gif.size() ? int(uchar(gif[at])) : 0; };
    qsizetype at = 13 + (u8(10) & 0x80 ? 3 * (2 << (u8(10) & 7)) : 0);
    const auto skipSubBlocks = [&](qsizetype from) {
        while (u8(from) != 0)
            from += 1 + u8(from);
        return from;
    };
    while (u8(at) == 0x21)
        at = skipSubBlocks(at + 2) + 1;
    GifPicture picture;
    picture.descriptor = at;
    picture.data = at + 10 + (u8(at + 9) & 0x80 ? 3 * (2 << (u8(at + 9) & 7)) : 0) + 1;
    picture.end = skipSubBlocks(picture.data);
    return picture;
}

QByteArray gifCutInItsPicture(const QByteArray& gif)
{
    const GifPicture first = firstGifPicture(gif);
    qsizetype cut = first.data;
    while (cut + 1 + uchar(gif[cut]) < (first.data + first.end) / 2)
        cut += 1 + uchar(gif[cut]);
    return gif.left(cut) + QByteArray("\0\x3b", 2);
}

}  // namespace pelk::test
