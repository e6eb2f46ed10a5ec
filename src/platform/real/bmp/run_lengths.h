#pragma once

#include <QtGlobal>

// The one walk over a bitmap's run-length data (RLE8 and RLE4), shared by the structure
// check and the reader, so that what the check passes is exactly what the reader draws.
namespace pelk {

// Walks the stream at data[0 .. size), calling put(x, y, index) for every pixel it sets;
// y counts rows from the bottom of the picture, as the stream does. Pixels the stream
// skips (a delta, an early end of line or of the picture) are never put. A run may reach
// into the row's padding, as far as an uncoded row's 32-bit words go: some writers code
// the padded row, and readers drop what lies past the picture's edge. Returns null when
// the stream is sound, else what is wrong with it: nothing is put outside the picture,
// and nothing is read outside the data.
template <typename Put>
const char* walkRunLengths(const uchar* data, qint64 size, qint64 width, qint64 height, bool fourBit, Put&& put)
{
    qint64 pos = 0, x = 0, y = 0;
    const qint64 paddedWidth = fourBit ? (width + 7) / 8 * 8 : (width + 3) / 4 * 4;
    // The pixels of one byte: two in RLE4, high nibble first.
    const auto pixel = [fourBit](uchar byte, qint64 i) {
        return fourBit ? int(i % 2 == 0 ? byte >> 4 : byte & 15) : int(byte);
    };
    while (true) {
        if (pos + 2 > size) {
            // Some writers leave out the end-of-picture mark after the last row.
            if (y >= height || (y == height - 1 && x >= width))
                return nullptr;
            return "run-length data ends before the picture does";
        }
        const int count = data[pos], value = data[pos + 1];
        pos += 2;
        if (count > 0) {  // a run of one byte's pixels
            if (y >= height)
                return "a run lies below the picture";
            if (x + count > paddedWidth)
                return "a run goes past the end of its row";
            for (qint64 i = 0; i < count && x + i < width; ++i)
                put(x + i, y, pixel(uchar(value), i));
            x += count;
            continue;
        }
        switch (value) {
        case 0:  // end of line
            x = 0;
            ++y;
            if (y > height)
                return "more rows than the picture has";
            break;
        case 1:  // end of picture
            return nullptr;
        case 2:  // delta: skip right and down
            if (pos + 2 > size)
                return "run-length data ends inside a skip";
            x += data[pos];
            y += data[pos + 1];
            pos += 2;
            if (x > width || y > height)
                return "a skip leaves the picture";
            break;
        default: {  // `value` pixels as they are, padded to an even byte count
            if (y >= height)
                return "a run lies below the picture";
            if (x + value > paddedWidth)
                return "a run goes past the end of its row";
            const qint64 bytes = fourBit ? (value + 1) / 2 : value;
            if (pos + bytes + (bytes & 1) > size)
                return "run-length data ends inside a run";
            for (qint64 i = 0; i < value && x + i < width; ++i)
                put(x + i, y, pixel(data[pos + (fourBit ? i / 2 : i)], i));
            pos += bytes + (bytes & 1);
            x += value;
            break;
        }
        }
    }
}

}  // namespace pelk
