#include "support/jpeg_markers.h"

namespace pelk::test {

const std::array<int, 64> zigzagToNatural = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

JpegStructure parseJpeg(const QByteArray& bytes)
{
    JpegStructure s;
    const auto* b = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype n = bytes.size();
    if (n < 4 || b[0] != 0xff || b[1] != 0xd8)
        return s;
    qsizetype at = 2;
    while (at + 1 < n) {
        if (b[at] != 0xff)
            return s;
        while (at < n && b[at] == 0xff)  // fill bytes
            ++at;
        if (at >= n)
            return s;
        const int marker = b[at++];
        if (marker == 0xd9) {
            s.valid = true;
            return s;
        }
        if (marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7))
            continue;
        if (at + 2 > n)
            return s;
        const int length = (b[at] << 8) | b[at + 1];
        if (length < 2 || at + length > n)
            return s;
        const uchar* p = b + at + 2;
        const int size = length - 2;
        if (marker == 0xdb) {
            for (int i = 0; i < size;) {
                JpegQuantTable table;
                table.precision = p[i] >> 4;
                const int number = p[i] & 15;
                ++i;
                const int entry = table.precision ? 2 : 1;
                if (i + 64 * entry > size)
                    return s;
                for (int k = 0; k < 64; ++k, i += entry)
                    table.natural[zigzagToNatural[k]] = entry == 2 ? (p[i] << 8) | p[i + 1] : p[i];
                s.quantTables[number] = table;
            }
        } else if (marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc) {
            s.frameMarkers << marker;
            if (size < 6)
                return s;
            s.height = (p[1] << 8) | p[2];
            s.width = (p[3] << 8) | p[4];
            const int count = p[5];
            if (size < 6 + 3 * count)
                return s;
            for (int c = 0; c < count; ++c)
                s.components << JpegComponent{p[6 + 3 * c], p[7 + 3 * c] >> 4, p[7 + 3 * c] & 15, p[8 + 3 * c]};
        } else if (marker == 0xc4) {
            ++s.huffmanTables;
        }
        at += length;
        if (marker == 0xda) {
            ++s.scans;
            // Entropy-coded data runs to the next marker that is not a stuffed zero or a restart.
            while (at + 1 < n && !(b[at] == 0xff && b[at + 1] != 0 && !(b[at + 1] >= 0xd0 && b[at + 1] <= 0xd7)))
                ++at;
        }
    }
    return s;
}

}  // namespace pelk::test
