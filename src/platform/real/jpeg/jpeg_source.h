#pragma once

#include "platform/real/jpeg/libjpeg_support.h"

#include <QByteArrayView>

namespace pelk {

// The bytes as libjpeg's source, handed over in pieces smaller than libjpeg-turbo's fast
// Huffman decoder needs: only its careful decoder warns of a code that no table holds.
// Past the end it warns and ends the file, as libjpeg's own sources do.
struct PieceSource {
    jpeg_source_mgr pub;
    const JOCTET* data;
    size_t size;
    size_t offset;  // of the first byte not yet handed to libjpeg
};

// `bytes` must outlive the decode.
void readFrom(PieceSource& source, QByteArrayView bytes);

}  // namespace pelk
