#include "platform/real/jpeg/jpeg_source.h"

#include <algorithm>

#include <jerror.h>

namespace pelk {
namespace {

// libjpeg-turbo's fast Huffman decoder reads a code that no table holds as a zero, without
// a warning; only its careful decoder warns. The fast one runs only while 512 bytes a block
// or more are buffered, so the file goes in in pieces smaller than that. (djpeg, reading
// through a 4 KiB buffer, takes the careful road most of the time too.)
constexpr size_t pieceBytes = 256;

void startSource(j_decompress_ptr) { }
void endSource(j_decompress_ptr) { }

boolean nextPiece(j_decompress_ptr cinfo)
{
    auto* source = reinterpret_cast<PieceSource*>(cinfo->src);
    if (source->offset >= source->size) {
        static const JOCTET end[2] = {0xff, JPEG_EOI};
        WARNMS(cinfo, JWRN_JPEG_EOF);
        source->pub.next_input_byte = end;
        source->pub.bytes_in_buffer = 2;
        return TRUE;
    }
    const size_t n = std::min(pieceBytes, source->size - source->offset);
    source->pub.next_input_byte = source->data + source->offset;
    source->pub.bytes_in_buffer = n;
    source->offset += n;
    return TRUE;
}

void skipBytes(j_decompress_ptr cinfo, long count)
{
    if (count <= 0)
        return;
    auto* source = reinterpret_cast<PieceSource*>(cinfo->src);
    const size_t skip = size_t(count);
    if (skip <= source->pub.bytes_in_buffer) {
        source->pub.next_input_byte += skip;
        source->pub.bytes_in_buffer -= skip;
        return;
    }
    // Past the end, the next read warns.
    source->offset = std::min(source->size, source->offset + (skip - source->pub.bytes_in_buffer));
    source->pub.bytes_in_buffer = 0;
}

void setUp(PieceSource& source)
{
    source.pub.init_source = startSource;
    source.pub.fill_input_buffer = nextPiece;
    source.pub.skip_input_data = skipBytes;
    source.pub.resync_to_restart = jpeg_resync_to_restart;
    source.pub.term_source = endSource;
    source.pub.bytes_in_buffer = 0;
    source.pub.next_input_byte = nullptr;
}

}  // namespace

void readFrom(PieceSource& source, QByteArrayView bytes)
{
    setUp(source);
    source.data = reinterpret_cast<const JOCTET*>(bytes.data());
    source.size = size_t(bytes.size());
    source.offset = 0;
}

}  // namespace pelk
