#include "platform/real/jpeg/block_preview.h"

#include "platform/real/jpeg/jpeg_decoder.h"

#include <cstring>
#include <system_error>

#include <jpegint.h>  // the entropy decoder, whose place handBlocks takes

namespace pelk {
namespace {

// Where in a block the file's i-th coefficient goes: a file lists them in zigzag order.
constexpr int zigzag[DCTSIZE2] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

void put16(QByteArray& out, unsigned value)
{
    out += char(value >> 8);
    out += char(value & 0xff);
}

void segment(QByteArray& out, unsigned marker, const QByteArray& body)
{
    out += char(0xff);
    out += char(marker);
    put16(out, unsigned(body.size() + 2));
    out += body;
}

// In place of the entropy decoder: each block of the MCU from the feed; a padding block of
// the last MCUs as the encoder codes it (the DC of the block before, no AC).
boolean handBlocks(j_decompress_ptr cinfo, JBLOCKROW* blocks)
{
    auto* feed = static_cast<BlockFeed*>(cinfo->client_data);
    if (blocks) {  // none when libjpeg skips the MCU
        int n = 0;
        for (int ci = 0; ci < cinfo->comps_in_scan; ++ci) {
            const jpeg_component_info* c = cinfo->cur_comp_info[ci];
            const auto k = size_t(c->component_index);
            for (int y = 0; y < c->MCU_height; ++y) {
                const JDIMENSION row = feed->row * JDIMENSION(c->MCU_height) + JDIMENSION(y);
                for (int x = 0; x < c->MCU_width; ++x, ++n) {
                    const JDIMENSION column = feed->column * JDIMENSION(c->MCU_width) + JDIMENSION(x);
                    if (row < feed->blocks->down[k] && column < feed->blocks->across[k]) {
                        std::memcpy(blocks[n], feed->blocks->rows[k][row][column], sizeof(JBLOCK));
                    } else {
                        std::memset(blocks[n], 0, sizeof(JBLOCK));
                        blocks[n][0][0] = n > 0 ? blocks[n - 1][0][0] : 0;
                    }
                }
            }
        }
    }
    if (++feed->column == cinfo->MCUs_per_row) {
        feed->column = 0;
        ++feed->row;
    }
    return TRUE;
}

}  // namespace

void takeBlocksFrom(jpeg_decompress_struct* cinfo, BlockFeed* feed)
{
    cinfo->client_data = feed;
    cinfo->entropy->decode_mcu = handBlocks;
}

QByteArray headerOfBlocks(const jpeg_compress_struct* cinfo)
{
    QByteArray out("\xff\xd8", 2);
    // The JFIF segment as the file's: the preview keeps the file's resolution.
    QByteArray jfif("JFIF\0", 5);
    jfif += char(cinfo->JFIF_major_version);
    jfif += char(cinfo->JFIF_minor_version);
    jfif += char(cinfo->density_unit);
    put16(jfif, cinfo->X_density);
    put16(jfif, cinfo->Y_density);
    jfif += QByteArray(2, '\0');
    segment(out, 0xe0, jfif);
    QByteArray frame, scan;
    frame += char(8);
    put16(frame, cinfo->image_height);
    put16(frame, cinfo->image_width);
    frame += char(cinfo->num_components);
    scan += char(cinfo->num_components);
    unsigned tablesUsed = 0;
    for (int ci = 0; ci < cinfo->num_components; ++ci) {
        const jpeg_component_info& c = cinfo->comp_info[ci];
        frame += char(c.component_id);
        frame += char(c.h_samp_factor << 4 | c.v_samp_factor);
        frame += char(c.quant_tbl_no);
        scan += char(c.component_id);
        scan += char(c.dc_tbl_no << 4 | c.ac_tbl_no);
        tablesUsed |= 1u << c.quant_tbl_no;
    }
    for (int t = 0; t < NUM_QUANT_TBLS; ++t) {
        if (!(tablesUsed & (1u << t)) || !cinfo->quant_tbl_ptrs[t])
            continue;
        QByteArray table;
        table += char(t);  // 8-bit entries: the tables are kept baseline
        for (int i = 0; i < DCTSIZE2; ++i)
            table += char(cinfo->quant_tbl_ptrs[t]->quantval[zigzag[i]]);
        segment(out, 0xdb, table);
    }
    segment(out, 0xc0, frame);
    scan += QByteArray("\x00\x3f\x00", 3);  // every coefficient, in one pass
    segment(out, 0xda, scan);
    out += QByteArray("\xff\xd9", 2);
    return out;
}

void BlockPreview::start(QByteArray header, const BlockTarget& blocks, QSize box, const std::atomic<bool>* cancel)
{
    header_ = std::move(header);
    blocks_ = blocks;
    box_ = box;
    cancel_ = cancel;
    try {
        thread_ = std::thread([this] { make(); });
    } catch (const std::system_error&) {
        make();
    }
}

const QImage& BlockPreview::wait()
{
    if (thread_.joinable())
        thread_.join();
    return picture_;
}

void BlockPreview::make()
{
    try {
        picture_ = JpegDecoder(header_, blocks_).decode(box_, cancel_).picture;
    } catch (const std::exception&) {
        picture_ = QImage();  // no memory for it: the preview is then read from the file
    }
}

}  // namespace pelk
