#pragma once

namespace pelk {

class WindowModel;
struct Platform;
struct DropData;
class Failure;

// Drops on the window surface and on either preview: every file of the drop goes in turn
// into Label1 (only the last one stays), then go() analyses Label1.
// None of them traps a failure: it ends the drop at the failing step.
void Form_OLEDragDrop(WindowModel& w, Platform& p, const DropData& data);
void Image1_OLEDragDrop(WindowModel& w, Platform& p, const DropData& data);
void Image2_OLEDragDrop(WindowModel& w, Platform& p, const DropData& data);

// Loads the source preview and size, records the source type and, for bmp, jpg and gif,
// proposes the output path and sets the mode.
void go(WindowModel& w, Platform& p);

// Derives the base path (the source path without its last four characters) into Text4
// and Text5.
void rename(WindowModel& w);

// A drop that failed: the source type is retired, so that a press converts nothing until
// a file is taken (the window may show one file's path beside another's picture and
// output name), and the user is told which file could not be shown, and why.
void refuseDrop(WindowModel& w, Platform& p, const Failure& failure);

}  // namespace pelk
