#pragma once

#include <QStringList>

namespace pelk {

// What a drop carries, copied out of the platform's drag data at once (the platform may
// free its data as soon as a dialog opens).
struct DropData {
    bool hasFileList = false;  // the file-drop list format ("format 15") is offered
    QStringList files;         // local paths in the order the drop source gave them
    // Those of `files` whose name the system's encoding could not turn into text: their
    // undecodable bytes became U+FFFD, so the path no longer names the dropped file (it
    // may name another one that really holds U+FFFD).
    QStringList unreadableNames = {};
};

}  // namespace pelk
