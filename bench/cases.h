#pragma once

#include "bench_images.h"
#include "stats.h"

#include <QStringList>
#include <optional>
#include <span>
#include <vector>

// What every section of the run shares: the sample pictures, the two sessions, and the
// table of timed cases with the one loop that runs them.
namespace pelk::bench {

class Session;

struct Sample {
    QString label;  // "12 MP"
    int width, height;
    SampleFiles files;
    int reps;
    bool targets;  // the targets are stated for 12 and 48 megapixels
};

struct Context {
    Session& view;     // the program as the user has it
    Session& bare;     // the same without the window, to tell the view's share
    QString work;      // yardsticks' outputs and the settings file
    QString resetBmp;  // a tiny picture dropped between repetitions
    Report& report;
    int toolReps;  // repetitions of the slow ImageMagick yardstick
};

enum class Source { Bitmap, Jpeg, Gif };

// What is timed of the program.
enum class Ours {
    Drop,               // drop up to the preview painted
    DropWithoutWindow,  // the same in the model-only session
    Press,              // press right after the drop
    PressAfterLooking,  // press a second after the drop
    DropAndPress,       // from the drop to the end of a press made right after it
};

// What it is timed against.
enum class Peer {
    Command,  // the row's command, a process of its own
    Reader,   // a plain QImageReader read, in process
    Earlier,  // the times of the same yardstick in an earlier row of the table, not run again
};

// One timed case. The command is a tool in /usr/bin with its arguments, split at spaces;
// "{in}" stands for the source file and "{work}/" for the work folder. The target is stated
// only for the samples that have targets. "{threads}" in the wait stands for the number of
// threads an encode uses when asked for all of them.
struct TimedCase {
    const char* wait;
    Source source;
    Ours ours;
    int progressive;  // the press's option; 0 for drops
    const char* yardstick;
    Peer peer;
    const char* command;  // for Peer::Command
    std::optional<double> target;
    int threads = 0;  // the encoder's threads for the press: 0 for one per core, as the program has it
};

// Runs the cases in order, ours alternating with the yardstick `reps` times, one row each.
// Returns per case the size of the file its press wrote (0 for a drop).
std::vector<qint64> runCases(Context& c, const Sample& s, std::span<const TimedCase> cases, int reps);

// The sections of the run, in the order they print.
void startupCases(Context& c, const QString& binDir, int reps);
void dropCases(Context& c, const Sample& s);
void pressCases(Context& c, const Sample& s);
void gifCases(Context& c, const Sample& s);
void imageMagickCases(Context& c, const Sample& s);
void rssCase(Context& c, const QString& self, const Sample& s);

// The child side of rssCase: drop and press `bmp` in this process, print VmHWM.
int rssPress(const QString& bmp);

}  // namespace pelk::bench
