#include "platform/real/bmp/bmp_header.h"

#include <QtEndian>
#include <algorithm>
#include <bit>
#include <climits>

namespace pelk {
namespace {

BmpParse refused(const QString& reason) { return {{}, Problem{FailureKind::NotAPicture, reason}}; }
BmpParse damaged(const char* reason) { return refused(QStringLiteral("damaged: ") + QString::fromLatin1(reason)); }
BmpParse unsupported(const QString& reason) { return refused(QStringLiteral("unsupported: ") + reason); }

// Reads a file's fields without ever running past its end (the callers ask only for
// fields they know to be there).
struct Fields {
    const uchar* b;
    qint64 size;
    bool has(qint64 pos, qint64 count) const { return pos >= 0 && pos <= size - count; }
    quint16 le16(qint64 pos) const { return qFromLittleEndian<quint16>(b + pos); }
    quint32 le32(qint64 pos) const { return qFromLittleEndian<quint32>(b + pos); }
};

// What the info header's fields say, before they are checked against each other.
struct InfoHeader {
    quint32 size = 0;
    bool os2v1 = false, os2v2 = false;
    quint32 compression = 0, coloursUsed = 0;
};

bool isWindowsHeader(quint32 size) { return size == 40 || size == 52 || size == 56 || size == 108 || size == 124; }

// A mask must be one run of bits inside the pixel; no mask means no such channel.
bool channelOf(quint32 mask, int bitsPerPixel, BmpChannel* channel)
{
    if (mask == 0) {
        *channel = {};
        return true;
    }
    if (bitsPerPixel < 32 && (mask >> bitsPerPixel) != 0)
        return false;
    const int shift = std::countr_zero(mask);
    const quint32 run = mask >> shift;
    if ((run & (run + 1)) != 0)
        return false;
    *channel = {shift, std::popcount(run)};
    return true;
}

// The sizes and the resolution, from a header of any size; fields a shorter header lacks
// read as 0. False when the bitmap has no pixels.
bool readSizes(const Fields& f, InfoHeader& info, BmpLayout& layout)
{
    const auto field = [&](qint64 pos) { return pos + 4 <= 14 + qint64(info.size) ? f.le32(pos) : 0u; };
    qint64 height = 0;
    if (info.os2v1) {
        layout.width = f.le16(18);
        height = f.le16(20);
        layout.bitsPerPixel = f.le16(24);
    } else {
        layout.width = qint32(f.le32(18));
        height = qint32(f.le32(22));
        layout.bitsPerPixel = f.le16(28);
        info.compression = field(30);
        layout.dotsPerMeterX = qint32(field(38));
        layout.dotsPerMeterY = qint32(field(42));
        info.coloursUsed = field(46);
    }
    if (layout.width <= 0 || height == 0 || height == INT_MIN)
        return false;
    layout.topDown = height < 0;
    layout.height = height < 0 ? -height : height;
    return true;
}

// How the pixels are coded, and how many bytes of masks lie between the header and the
// palette; a problem when the coding is not one we read or contradicts the header.
MaybeProblem readCoding(const InfoHeader& info, BmpLayout& layout, qint64* masksAfterHeader)
{
    const int bits = layout.bitsPerPixel;
    const quint32 compression = info.compression;
    const auto unknown = [&] {
        return unsupported(QStringLiteral("%1 bits a pixel with coding %2").arg(bits).arg(compression)).problem;
    };
    switch (compression) {
    case 0:  // BI_RGB
        if (bits == 1 || bits == 2 || bits == 4 || bits == 8)
            layout.coding = BmpCoding::Palette;
        else if (bits == 24)
            layout.coding = BmpCoding::Rgb24;
        else if (bits == 16 || bits == 32)
            layout.coding = BmpCoding::BitFields;
        else
            return unknown();
        return std::nullopt;
    case 1:  // BI_RLE8
    case 2:  // BI_RLE4
        if (bits != (compression == 1 ? 8 : 4))
            return damaged("run-length coding for another bit depth").problem;
        // Run-length rows are always stored bottom-up.
        if (layout.topDown)
            return damaged("run-length rows stored top-down").problem;
        layout.coding = compression == 1 ? BmpCoding::RunLength8 : BmpCoding::RunLength4;
        return std::nullopt;
    case 3:  // BI_BITFIELDS; in an OS/2 2.x file, Huffman 1D
    case 6:  // BI_ALPHABITFIELDS
        if (info.os2v2 || (bits != 16 && bits != 32))
            return unknown();
        layout.coding = BmpCoding::BitFields;
        if (info.size == 40)
            *masksAfterHeader = compression == 6 ? 16 : 12;
        else if (info.size == 52 && compression == 6)
            *masksAfterHeader = 4;
        return std::nullopt;
    default:  // JPEG or PNG inside, OS/2 run-length 24, ...
        return unknown();
    }
}

// The channels of a bit-field pixel. The masks lie at the same place whatever the
// header: inside a longer header, right after the 40-byte one.
MaybeProblem readChannels(const Fields& f, const InfoHeader& info, BmpLayout& layout)
{
    const int bits = layout.bitsPerPixel;
    quint32 masks[4] = {0, 0, 0, 0};
    if (info.compression == 0) {
        if (bits == 16) {
            masks[0] = 0x7c00;
            masks[1] = 0x03e0;
            masks[2] = 0x001f;
        } else {  // the fourth byte is unused, whatever it holds
            masks[0] = 0xff0000;
            masks[1] = 0x00ff00;
            masks[2] = 0x0000ff;
        }
    } else {
        const int count = info.compression == 6 || info.size >= 56 ? 4 : 3;
        if (!f.has(54, 4 * count))
            return damaged("the bit-field masks are cut short").problem;
        for (int i = 0; i < count; ++i)
            masks[i] = f.le32(54 + 4 * i);
    }
    quint32 seen = 0;
    for (int i = 0; i < 4; ++i) {
        if (!channelOf(masks[i], bits, &layout.channels[size_t(i)]) || (seen & masks[i]) != 0)
            return damaged("a bit-field mask is not one run of bits inside the pixel").problem;
        seen |= masks[i];
    }
    layout.alpha = layout.channels[3].bits > 0;
    return std::nullopt;
}

// Where the palette and the pixels lie. The palette ends where the pixels begin: an OS/2
// 1.x file may hold fewer colours than its depth allows, and says so only through the data
// offset. Indices past the last colour are the reader's to resolve.
MaybeProblem readPlaces(const Fields& f, const InfoHeader& info, qint64 masksAfterHeader, BmpLayout& layout)
{
    layout.dataOffset = f.le32(10);
    layout.paletteOffset = 14 + qint64(info.size) + masksAfterHeader;
    layout.paletteEntryBytes = info.os2v1 ? 3 : 4;
    if (layout.dataOffset < layout.paletteOffset)
        return damaged("the pixel data starts inside the headers").problem;
    if (layout.coding != BmpCoding::Palette && layout.coding != BmpCoding::RunLength8
        && layout.coding != BmpCoding::RunLength4)
        return std::nullopt;
    const int bits = layout.bitsPerPixel;
    const qint64 declared = info.coloursUsed != 0 ? qint64(info.coloursUsed) : qint64(1) << bits;
    if (declared > qint64(1) << bits)
        return damaged("the palette has more colours than the pixels can index").problem;
    const qint64 room =
        std::max<qint64>(0, std::min(layout.dataOffset, f.size) - layout.paletteOffset) / layout.paletteEntryBytes;
    layout.paletteColours = int(std::min({declared, qint64(1) << bits, room}));
    return std::nullopt;
}

}  // namespace

BmpParse parseBmp(QByteArrayView bytes)
{
    const Fields f{reinterpret_cast<const uchar*>(bytes.data()), bytes.size()};
    if (!f.has(0, 18) || f.b[0] != 'B' || f.b[1] != 'M')
        return damaged("no bitmap header");
    InfoHeader info;
    info.size = f.le32(14);
    info.os2v1 = info.size == 12;
    // An OS/2 2.x header may stop after any field from the sixteenth byte on; its full
    // size is 64. A Windows header has one of five sizes.
    info.os2v2 = !isWindowsHeader(info.size) && info.size >= 16 && info.size <= 64;
    if (!info.os2v1 && !info.os2v2 && !isWindowsHeader(info.size))
        return unsupported(QStringLiteral("a bitmap header of %1 bytes").arg(info.size));
    if (!f.has(14, info.size))
        return damaged("the bitmap header is cut short");

    BmpParse parse;
    if (!readSizes(f, info, parse.layout))
        return damaged("the bitmap has no pixels");
    qint64 masksAfterHeader = 0;  // bytes of masks between the header and the palette
    parse.problem = readCoding(info, parse.layout, &masksAfterHeader);
    if (!parse.problem && parse.layout.coding == BmpCoding::BitFields)
        parse.problem = readChannels(f, info, parse.layout);
    if (!parse.problem)
        parse.problem = readPlaces(f, info, masksAfterHeader, parse.layout);
    if (parse.problem)
        parse.layout = {};
    return parse;
}

}  // namespace pelk
