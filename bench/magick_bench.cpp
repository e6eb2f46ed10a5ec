// The GIF's drop against a plain QImageReader read and its press against ImageMagick; then
// the presses against ImageMagick, the converter a user would otherwise reach for.
#include "cases.h"
#include "child.h"

namespace pelk::bench {

void gifCases(Context& c, const Sample& s)
{
    constexpr TimedCase cases[] = {
        {"drop → preview shown, GIF", Source::Gif, Ours::Drop, 0, "`QImageReader` read", Peer::Reader, nullptr,
         std::nullopt},
        {"press at once, GIF → bitmap", Source::Gif, Ours::Press, 0, "ImageMagick `convert` gif→bmp", Peer::Command,
         "convert {in} {work}/magick-gif.bmp", std::nullopt},
    };
    runCases(c, s, cases, s.reps);
}

void imageMagickCases(Context& c, const Sample& s)
{
    constexpr TimedCase cases[] = {
        {"press at once, bitmap → JPEG baseline", Source::Bitmap, Ours::Press, 0, "ImageMagick `convert -quality 75`",
         Peer::Command, "convert {in} -quality 75 {work}/magick.jpg", std::nullopt},
        {"press at once, JPEG → bitmap", Source::Jpeg, Ours::Press, 0, "ImageMagick `convert` jpg→bmp", Peer::Command,
         "convert {in} {work}/magick.bmp", std::nullopt},
    };
    runCases(c, s, cases, c.toolReps);
}

}  // namespace pelk::bench
