#include "platform/real/pictures/picture_checks.h"

#include <QtEndian>

#include <array>
#include <climits>

namespace pelk {
namespace {

// What a GIF picture's LZW data decode to, counted without keeping a pixel.
struct LzwWalk {
    qint64 pixels = 0;
    bool badCode = false;  // a code that is neither in the table nor the next one to be made
};

// Walks the sub-blocks from `pos` (just past the minimum code size) until the picture's
// `wanted` pixels are decoded, the end code, or the end of the data. What follows the last
// pixel is left alone: readers stop there too.
LzwWalk walkLzw(const BoundedBytes& b, qsizetype pos, int minCodeSize, qint64 wanted)
{
    LzwWalk walk;
    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    int codeSize = minCodeSize + 1;
    int next = clear + 2;
    int previous = -1;
    std::array<qint32, 4096> lengths{};  // of each code's string
    for (int i = 0; i < clear; ++i)
        lengths[size_t(i)] = 1;
    quint32 bits = 0;
    int held = 0;
    for (int left = 0; walk.pixels < wanted;) {
        if (held < codeSize) {
            if (left == 0) {
                left = b.u8(pos++);
                if (left == 0 || !b.has(pos, 1))
                    return walk;  // the data end
            }
            bits |= quint32(b.u8(pos++)) << held;
            held += 8;
            --left;
            continue;
        }
        const int code = int(bits & ((1u << codeSize) - 1));
        bits >>= codeSize;
        held -= codeSize;
        if (code == clear) {
            codeSize = minCodeSize + 1;
            next = clear + 2;
            previous = -1;
            continue;
        }
        if (code == end)
            return walk;
        if (code > next || (code == next && previous < 0)) {
            walk.badCode = true;
            return walk;
        }
        if (previous >= 0 && next < 4096) {
            lengths[size_t(next)] = lengths[size_t(previous)] + 1;
            ++next;
            if (next >= 1 << codeSize && codeSize < 12)  // a code size of 1 starts at its limit
                ++codeSize;
        }
        walk.pixels += lengths[size_t(code)];
        previous = code;
    }
    return walk;
}

// Steps over a run of sub-blocks up to and past their terminator; false when the data end
// first.
bool skipSubBlocks(const BoundedBytes& b, qsizetype& at)
{
    while (b.has(at, 1)) {
        const int length = b.u8(at++);
        if (length == 0)
            return true;
        at += length;
    }
    return false;
}

// Steps over a colour table when the flags say one follows.
qsizetype pastColourTable(qsizetype pos, int flags)
{
    return flags & 0x80 ? pos + 3 * (qsizetype(1) << ((flags & 7) + 1)) : pos;
}

// The first picture, its header at `pos` (just past its 0x2c): its data end where they
// should, and decode to every pixel of it.
FileCheck checkFirstPicture(const BoundedBytes& b, qsizetype pos, QSize screen, GifFrame* frame)
{
    if (!b.has(pos, 9))
        return damaged("the GIF ends inside a picture header");
    const QRect area(b.le16(pos), b.le16(pos + 2), b.le16(pos + 4), b.le16(pos + 6));
    const qsizetype flagsAt = pos + 8;
    const int flags = b.u8(flagsAt);
    pos = pastColourTable(pos + 9, flags);
    const int minCodeSize = b.u8(pos++);
    const qsizetype data = pos;
    if (!skipSubBlocks(b, pos))
        return damaged("the GIF ends inside its first picture");
    // Readers take code sizes beyond the format's 2 to 8 as long as the codes fit in
    // 12 bits.
    if (minCodeSize < 1 || minCodeSize > 11)
        return damaged("the first picture's LZW code size is out of range");
    // Qt's reader shows a picture whose data end early with the rest in the background
    // colour: the file's picture is not all there.
    const qint64 wanted = qint64(area.width()) * area.height();
    const LzwWalk walk = walkLzw(b, data, minCodeSize, wanted);
    if (walk.badCode)
        return damaged("the first picture's data hold a code outside the table");
    if (walk.pixels < wanted)
        return damaged("the first picture's data end before its last pixel");
    // The reader paints the frame on a picture of the logical screen and keeps a
    // second one to restore what the frame covered.
    FileCheck check;
    check.declared = screen.expandedTo(area.size());
    check.decoderBytes = 4 * qint64(check.declared.width()) * check.declared.height();
    if (frame)
        *frame = {area, screen, (flags & 0x40) != 0, flagsAt};
    return check;
}

}  // namespace

FileCheck checkGif(QByteArrayView bytes, GifFrame* frame)
{
    const BoundedBytes b(bytes);
    if (!b.has(0, 13))
        return damaged("the GIF header is cut short");
    const QSize screen(b.le16(6), b.le16(8));
    qsizetype pos = pastColourTable(13, b.u8(10));
    while (true) {
        if (!b.has(pos, 1))
            return damaged("the GIF ends before its first picture");
        const int block = b.u8(pos++);
        if (block == 0x2c)
            return checkFirstPicture(b, pos, screen, frame);
        if (block != 0x21)
            return damaged("the GIF holds no picture");
        ++pos;  // extension: label, then sub-blocks
        if (!skipSubBlocks(b, pos))
            return damaged("the GIF ends inside an extension");
    }
}

}  // namespace pelk
