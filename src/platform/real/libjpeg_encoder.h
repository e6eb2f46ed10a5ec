#pragma once

#include "platform/services.h"

namespace pelk {

// The JPEG encoder on libjpeg-turbo: reads the source as the picture service does (by
// content: a bitmap, or any other picture that was named .bmp) and encodes it with
// optimised Huffman tables and 4:2:0 chroma subsampling.
class LibjpegEncoder : public JpegEncoder {
public:
    std::int16_t SavetoJPEG(const QByteArray& sourcePath, QByteArray& destinationPath, std::uint8_t quality,
                            bool progressive) override;
};

}  // namespace pelk
