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

// Moves on to the stream's next piece once the current one is used up.
bool moreBytes(PieceSource* source)
{
    while (source->offset >= source->size) {
        if (!source->stream)
            return false;
        const QByteArrayView piece = source->stream->next();
        if (piece.isEmpty())
            return false;
        source->data = reinterpret_cast<const JOCTET*>(piece.data());
        source->size = size_t(piece.size());
        source->offset = 0;
    }
    return true;
}

boolean nextPiece(j_decompress_ptr cinfo)
{
    auto* source = reinterpret_cast<PieceSource*>(cinfo->src);
    if (!moreBytes(source)) {
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
    size_t skip = size_t(count);
    if (skip <= source->pub.bytes_in_buffer) {
        source->pub.next_input_byte += skip;
        source->pub.bytes_in_buffer -= skip;
        return;
    }
    skip -= source->pub.bytes_in_buffer;
    source->pub.bytes_in_buffer = 0;
    // Past the end, the next read warns.
    while (skip > 0 && moreBytes(source)) {
        const size_t n = std::min(skip, source->size - source->offset);
        source->offset += n;
        skip -= n;
    }
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
    source.stream = nullptr;
}

void readFrom(PieceSource& source, ByteStream& stream)
{
    setUp(source);
    source.data = nullptr;
    source.size = 0;
    source.offset = 0;
    source.stream = &stream;
}

}  // namespace pelk
