#pragma once

#include "platform/real/ahead/written_previews.h"
#include "platform/real/file_service.h"
#include "platform/real/jpeg/libjpeg_encoder.h"
#include "platform/real/picture_service.h"

namespace pelk {

// The real services that need no widgets, put together once for the program, the tests and
// the benchmarks alike: the encoder makes the output's preview ahead with the bytes it
// writes, and the picture service hands it out when that file is loaded.
struct RealServices {
    WrittenPreviews previews;
    RealPictureService pictures{&previews};
    RealFileService files;
    LibjpegEncoder encoder{&previews};
};

}  // namespace pelk
