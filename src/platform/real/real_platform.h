#pragma once

#include "platform/real/ahead/written_previews.h"
#include "platform/real/file_service.h"
#include "platform/real/jpeg/libjpeg_encoder.h"
#include "platform/real/picture_service.h"
#include "platform/real/pictures/held_picture.h"

namespace pelk {

// The real services that need no widgets, put together once for the program, the tests and
// the benchmarks alike: the encoder makes the output's preview ahead with the bytes it
// writes, and the picture service hands it out when that file is loaded; the encoder reads
// the pixels of the picture the service has loaded, while its file is unchanged.
struct RealServices {
    WrittenPreviews previews;
    HeldPicture held;
    RealPictureService pictures{&previews, &held};
    RealFileService files;
    LibjpegEncoder encoder{&previews, &held};
};

}  // namespace pelk
