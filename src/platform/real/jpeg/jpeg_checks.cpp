#include "platform/real/jpeg/jpeg_checks.h"

#include "platform/real/pictures/picture_limits.h"

#include <QVarLengthArray>
#include <QtEndian>

namespace pelk {
namespace {

bool isFrameMarker(int m) { return m >= 0xc0 && m <= 0xcf && m != 0xc4 && m != 0xc8 && m != 0xcc; }

}  // namespace

FileCheck checkJpeg(QByteArrayView bytes)
{
    const BoundedBytes b(bytes);
    if (b.u8(0) != 0xff || b.u8(1) != 0xd8)
        return damaged("no JPEG start marker");
    FileCheck check;
    int scans = 0;
    bool progressive = false;
    qint64 width = 0, height = 0;
    struct Component {
        int h, v;
    };
    QVarLengthArray<Component, 4> components;
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
        if (!b.has(pos, 2))
            return damaged("the JPEG ends inside a segment");
        const qsizetype length = b.be16(pos);
        if (length < 2 || !b.has(pos, length))
            return damaged("the JPEG ends inside a segment");
        if (isFrameMarker(marker) && length >= 8) {
            progressive = marker == 0xc2 || marker == 0xc6 || marker == 0xca || marker == 0xce;
            height = b.be16(pos + 3);
            width = b.be16(pos + 5);
            const int count = b.u8(pos + 7);
            components.clear();
            for (int i = 0; i < count && 8 + 3 * i + 2 < length; ++i) {
                const int sampling = b.u8(pos + 8 + 3 * i + 1);
                components.append({qMax(1, sampling >> 4), qMax(1, sampling & 15)});
            }
        }
        pos += length;
        if (marker != 0xda)
            continue;
        if (++scans > maxJpegScans) {
            check.problem = FileProblem::Hostile;
            check.reason = QStringLiteral("more than %1 scans").arg(maxJpegScans);
            return check;
        }
        // The scan's coded data: no marker inside it but stuffed zeros and restarts.
        while (true) {
            while (b.has(pos, 1) && b.u8(pos) != 0xff)
                ++pos;
            if (!b.has(pos, 2))
                return damaged("the JPEG ends inside its picture data");
            const int next = b.u8(pos + 1);
            if (next == 0x00 || (next >= 0xd0 && next <= 0xd7) || next == 0xff) {
                pos += next == 0xff ? 1 : 2;
                continue;
            }
            break;
        }
    }

    check.declared = QSize(int(width), int(height));
    if (progressive && !components.isEmpty()) {
        int hMax = 1, vMax = 1;
        for (const Component& c : components) {
            hMax = qMax(hMax, c.h);
            vMax = qMax(vMax, c.v);
        }
        const qint64 mcuColumns = (width + 8 * hMax - 1) / (8 * hMax);
        const qint64 mcuRows = (height + 8 * vMax - 1) / (8 * vMax);
        for (const Component& c : components)
            check.decoderBytes += mcuColumns * c.h * mcuRows * c.v * 64 * 2;
    }
    return check;
}

}  // namespace pelk
