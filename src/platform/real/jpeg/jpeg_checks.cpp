#include "platform/real/jpeg/jpeg_checks.h"

#include "platform/real/pictures/picture_limits.h"

#include <QVarLengthArray>
#include <QtEndian>

namespace pelk {
namespace {

bool isFrameMarker(int m) { return m >= 0xc0 && m <= 0xcf && m != 0xc4 && m != 0xc8 && m != 0xcc; }

struct Component {
    int h, v;
};

// What the frame header says the decoder will hold.
struct Frame {
    bool progressive = false;
    qint64 width = 0, height = 0;
    QVarLengthArray<Component, 4> components;
};

// The frame header whose segment's length field is at `pos`.
void readFrame(const BoundedBytes& b, int marker, qsizetype pos, qsizetype length, Frame& frame)
{
    frame.progressive = marker == 0xc2 || marker == 0xc6 || marker == 0xca || marker == 0xce;
    frame.height = b.be16(pos + 3);
    frame.width = b.be16(pos + 5);
    const int count = b.u8(pos + 7);
    frame.components.clear();
    for (int i = 0; i < count && 8 + 3 * i + 2 < length; ++i) {
        const int sampling = b.u8(pos + 8 + 3 * i + 1);
        frame.components.append({qMax(1, sampling >> 4), qMax(1, sampling & 15)});
    }
}

// Steps over a scan's coded data from `pos`: no marker inside it but stuffed zeros and
// restarts. False when the file ends first.
bool skipScanData(const BoundedBytes& b, qsizetype& pos)
{
    while (true) {
        while (b.has(pos, 1) && b.u8(pos) != 0xff)
            ++pos;
        if (!b.has(pos, 2))
            return false;
        const int next = b.u8(pos + 1);
        if (next != 0x00 && (next < 0xd0 || next > 0xd7) && next != 0xff)
            return true;
        pos += next == 0xff ? 1 : 2;
    }
}

// A progressive JPEG keeps every coefficient of the picture while it decodes: two bytes a
// sample.
qint64 coefficientBytes(const Frame& frame)
{
    if (!frame.progressive || frame.components.isEmpty())
        return 0;
    int hMax = 1, vMax = 1;
    for (const Component& c : frame.components) {
        hMax = qMax(hMax, c.h);
        vMax = qMax(vMax, c.v);
    }
    const qint64 mcuColumns = (frame.width + 8 * hMax - 1) / (8 * hMax);
    const qint64 mcuRows = (frame.height + 8 * vMax - 1) / (8 * vMax);
    qint64 bytes = 0;
    for (const Component& c : frame.components)
        bytes += mcuColumns * c.h * mcuRows * c.v * 64 * 2;
    return bytes;
}

}  // namespace

FileCheck checkJpeg(QByteArrayView bytes)
{
    const BoundedBytes b(bytes);
    if (b.u8(0) != 0xff || b.u8(1) != 0xd8)
        return damaged("no JPEG start marker");
    int scans = 0;
    Frame frame;
    qsizetype pos = 2;
    while (true) {
        // Decoders skip stray bytes before a marker; so does this walk.
        while (b.has(pos, 1) && b.u8(pos) != 0xff)
            ++pos;
        while (b.has(pos, 1) && b.u8(pos) == 0xff)
            ++pos;
        if (!b.has(pos, 1))
            return damaged("the JPEG ends before its end marker");
        const int marker = b.u8(pos++);
        if (marker == 0xd9) {
            if (scans == 0)
                return damaged("the JPEG holds no picture data");
            break;
        }
        if ((marker >= 0xd0 && marker <= 0xd7) || marker == 0x01 || marker == 0x00)
            continue;  // restart markers and the like carry no length
        const qsizetype length = b.be16(pos);
        if (!b.has(pos, 2) || length < 2 || !b.has(pos, length))
            return damaged("the JPEG ends inside a segment");
        if (isFrameMarker(marker) && length >= 8)
            readFrame(b, marker, pos, length, frame);
        pos += length;
        if (marker != 0xda)
            continue;
        if (++scans > maxJpegScans)
            return {Problem{FailureKind::NotAPicture, QStringLiteral("hostile: more than %1 scans").arg(maxJpegScans)},
                    {},
                    0};
        if (!skipScanData(b, pos))
            return damaged("the JPEG ends inside its picture data");
    }
    return {std::nullopt, QSize(int(frame.width), int(frame.height)), coefficientBytes(frame)};
}

}  // namespace pelk
