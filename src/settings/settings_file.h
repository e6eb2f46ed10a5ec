#pragma once

namespace pelk {

class WindowModel;
class FileService;

// "Pelk.ini" in the current working directory: line 1 the quality text, line 2 the
// progressive box, line 3 the always-on-top box. Neither routine ever fails outward or
// shows anything.

// Captures Text2, Check1 and Check2, then replaces the file's whole content. The new
// content replaces the old only once it is completely written.
void saveSettings(WindowModel& w, FileService& files);

// Reads the first three lines and applies as many values as it can to Text2, Check1
// and Check2, in that order. Only the start of a regular file is read.
void loadSettings(WindowModel& w, FileService& files);

}  // namespace pelk
