#pragma once

#include "platform/real/jpeg/libjpeg_support.h"

#include <QByteArrayView>

namespace pelk {

// Bytes that arrive a piece at a time, for a decode that starts before the last of them
// is written.
class ByteStream {
public:
    virtual ~ByteStream() = default;
    // The next piece, waiting for it; empty once there are no more. A piece stays valid
    // while the stream lives.
    virtual QByteArrayView next() = 0;
};

// The bytes as libjpeg's source: all of them at once, or a stream's pieces as they come.
// Either way libjpeg-turbo gets them in pieces smaller than its fast Huffman decoder
// needs: only its careful decoder warns of a code that no table holds. Past the end it
// warns and ends the file, as libjpeg's own sources do.
struct PieceSource {
    jpeg_source_mgr pub;
    const JOCTET* data;
    size_t size;
    size_t offset;  // of the first byte not yet handed to libjpeg
    ByteStream* stream;
};

void readFrom(PieceSource& source, QByteArrayView bytes);
void readFrom(PieceSource& source, ByteStream& stream);

}  // namespace pelk
