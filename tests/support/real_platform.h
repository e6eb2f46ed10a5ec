#pragma once

#include "platform/real/file_service.h"
#include "platform/real/picture_service.h"
#include "platform/real/written_previews.h"
#include "support/fakes.h"

// The platform a handler runs on in the tests that write real files: real pictures and
// files, fake message box, window system and recording encoder.
namespace pelk::test {

struct TestPlatform {
    WrittenPreviews previews;
    RealPictureService pictures{&previews};
    RealFileService files;
    FakeMessageBox messages;
    FakeWindowSystem windowSystem;
    RecordingEncoder encoder;
    Platform platform{pictures, files, messages, windowSystem, encoder};
};

}  // namespace pelk::test
