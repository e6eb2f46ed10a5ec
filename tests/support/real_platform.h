#pragma once

#include "platform/real/real_platform.h"
#include "support/fakes.h"

// The platform a handler runs on in the tests that write real files: real pictures and
// files, fake message box, window system and recording encoder.
namespace pelk::test {

struct TestPlatform {
    RealServices real;
    WrittenPreviews& previews = real.previews;
    RealPictureService& pictures = real.pictures;
    RealFileService& files = real.files;
    FakeMessageBox messages;
    FakeWindowSystem windowSystem;
    RecordingEncoder encoder;
    Platform platform{pictures, files, messages, windowSystem, encoder};
};

}  // namespace pelk::test
