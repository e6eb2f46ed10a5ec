#pragma once

#include <cstdint>

namespace pelk {

class WindowModel;

// The quality number box Text2 and the slider HScroll1 follow each other.
void HScroll1_Change(WindowModel& w);
void HScroll1_Scroll(WindowModel& w);
void Text2_Change(WindowModel& w);
// Lets through digits and backspace; any other character code becomes 0 (discarded).
void Text2_KeyPress(WindowModel& w, std::int16_t& keyAscii);

}  // namespace pelk
