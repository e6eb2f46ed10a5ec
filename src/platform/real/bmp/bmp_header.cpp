#include "platform/real/bmp/bmp_header.h"

#include <QtEndian>
#include <algorithm>
#include <bit>
#include <climits>

namespace pelk {
namespace {

BmpParse refused(BmpProblem problem, const QString& reason) { return {{}, problem, reason}; }
BmpParse damaged(const char* reason) { return refused(BmpProblem::Damaged, QString::fromLatin1(reason)); }
BmpParse unsupported(const QString& reason) { return refused(BmpProblem::Unsupported, reason); }

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

}  // namespace

BmpParse parseBmp(QByteArrayView bytes)
{
    const auto* b = reinterpret_cast<const uchar*>(bytes.data());
    const qint64 size = bytes.size();
    const auto has = [size](qint64 pos, qint64 count) { return pos >= 0 && pos <= size - count; };
    const auto le16 = [b](qint64 pos) { return qFromLittleEndian<quint16>(b + pos); };
    const auto le32 = [b](qint64 pos) { return qFromLittleEndian<quint32>(b + pos); };

    if (!has(0, 18) || b[0] != 'B' || b[1] != 'M')
        return damaged("no bitmap header");
    const quint32 infoSize = le32(14);
    const bool os2v1 = infoSize == 12;
    // An OS/2 2.x header may stop after any field from the sixteenth byte on; its full
    // size is 64. A Windows header has one of five sizes.
    const bool os2v2 = !isWindowsHeader(infoSize) && infoSize >= 16 && infoSize <= 64;
    if (!os2v1 && !os2v2 && !isWindowsHeader(infoSize))
        return unsupported(QStringLiteral("a bitmap header of %1 bytes").arg(infoSize));
    if (!has(14, infoSize))
        return damaged("the bitmap header is cut short");
    // Fields a shorter header lacks read as 0.
    const auto field = [&](qint64 pos) { return pos + 4 <= 14 + qint64(infoSize) ? le32(pos) : 0u; };

    BmpLayout layout;
    qint64 height = 0;
    quint32 compression = 0, coloursUsed = 0;
    if (os2v1) {
        layout.width = le16(18);
        height = le16(20);
        layout.bitsPerPixel = le16(24);
    } else {
        layout.width = qint32(le32(18));
        height = qint32(le32(22));
        layout.bitsPerPixel = le16(28);
        compression = field(30);
        layout.dotsPerMeterX = qint32(field(38));
        layout.dotsPerMeterY = qint32(field(42));
        coloursUsed = field(46);
    }
    if (layout.width <= 0 || height == 0 || height == INT_MIN)
        return damaged("the bitmap has no pixels");
    layout.topDown = height < 0;
    layout.height = height < 0 ? -height : height;

    const int bits = layout.bitsPerPixel;
    const QString bitsText = QStringLiteral("%1 bits a pixel with coding %2").arg(bits).arg(compression);
    qint64 masksAfterHeader = 0;  // bytes of masks between the header and the palette
    switch (compression) {
    case 0:  // BI_RGB
        if (bits == 1 || bits == 2 || bits == 4 || bits == 8)
            layout.coding = BmpCoding::Palette;
        else if (bits == 24)
            layout.coding = BmpCoding::Rgb24;
        else if (bits == 16 || bits == 32)
            layout.coding = BmpCoding::BitFields;
        else
            return unsupported(bitsText);
        break;
    case 1:  // BI_RLE8
    case 2:  // BI_RLE4
        if (bits != (compression == 1 ? 8 : 4))
            return damaged("run-length coding for another bit depth");
        // Run-length rows are always stored bottom-up.
        if (layout.topDown)
            return damaged("run-length rows stored top-down");
        layout.coding = compression == 1 ? BmpCoding::RunLength8 : BmpCoding::RunLength4;
        break;
    case 3:  // BI_BITFIELDS; in an OS/2 2.x file, Huffman 1D
    case 6:  // BI_ALPHABITFIELDS
        if (os2v2)
            return unsupported(bitsText);
        if (bits != 16 && bits != 32)
            return unsupported(bitsText);
        layout.coding = BmpCoding::BitFields;
        if (infoSize == 40)
            masksAfterHeader = compression == 6 ? 16 : 12;
        else if (infoSize == 52 && compression == 6)
            masksAfterHeader = 4;
        break;
    default:  // JPEG or PNG inside, OS/2 run-length 24, ...
        return unsupported(bitsText);
    }

    if (layout.coding == BmpCoding::BitFields) {
        // The masks lie at the same place whatever the header: inside a longer header,
        // right after the 40-byte one.
        quint32 masks[4] = {0, 0, 0, 0};
        if (compression == 0) {
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
            const int count = compression == 6 || infoSize >= 56 ? 4 : 3;
            if (!has(54, 4 * count))
                return damaged("the bit-field masks are cut short");
            for (int i = 0; i < count; ++i)
                masks[i] = le32(54 + 4 * i);
        }
        quint32 seen = 0;
        for (int i = 0; i < 4; ++i) {
            if (!channelOf(masks[i], bits, &layout.channels[size_t(i)]) || (seen & masks[i]) != 0)
                return damaged("a bit-field mask is not one run of bits inside the pixel");
            seen |= masks[i];
        }
        layout.alpha = layout.channels[3].bits > 0;
    }

    layout.dataOffset = le32(10);
    layout.paletteOffset = 14 + qint64(infoSize) + masksAfterHeader;
    layout.paletteEntryBytes = os2v1 ? 3 : 4;
    if (layout.dataOffset < layout.paletteOffset)
        return damaged("the pixel data starts inside the headers");
    if (layout.coding == BmpCoding::Palette || layout.coding == BmpCoding::RunLength8
        || layout.coding == BmpCoding::RunLength4) {
        // The palette ends where the pixels begin: an OS/2 1.x file may hold fewer colours
        // than its depth allows, and says so only through the data offset. Indices past
        // the last colour are the reader's to resolve.
        const qint64 declared = coloursUsed != 0 ? qint64(coloursUsed) : qint64(1) << bits;
        if (declared > qint64(1) << bits)
            return damaged("the palette has more colours than the pixels can index");
        const qint64 room =
            std::max<qint64>(0, std::min(layout.dataOffset, size) - layout.paletteOffset) / layout.paletteEntryBytes;
        layout.paletteColours = int(std::min({declared, qint64(1) << bits, room}));
    }
    return {layout, BmpProblem::None, {}};
}

}  // namespace pelk
