// The drop, up to the preview painted, against a plain decode of the same file; the same
// drops without the window show the view's share (against the same yardstick's times).
#include "cases.h"
#include "child.h"

namespace pelk::bench {

void dropCases(Context& c, const Sample& s)
{
    constexpr TimedCase cases[] = {
        {"drop → preview shown, JPEG", Source::Jpeg, Ours::Drop, 0, "`djpeg` to /dev/null", Peer::Command,
         "djpeg -outfile /dev/null {in}", 0.7},
        {"drop → preview shown, bitmap", Source::Bitmap, Ours::Drop, 0, "`QImageReader` read", Peer::Reader, nullptr,
         1.2},
        {"drop, JPEG, model only (no window)", Source::Jpeg, Ours::DropWithoutWindow, 0, "`djpeg` to /dev/null",
         Peer::Earlier, nullptr, std::nullopt},
        {"drop, bitmap, model only (no window)", Source::Bitmap, Ours::DropWithoutWindow, 0, "`QImageReader` read",
         Peer::Earlier, nullptr, std::nullopt},
    };
    runCases(c, s, cases, s.reps);
}

}  // namespace pelk::bench
