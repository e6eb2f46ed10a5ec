#pragma once

#include <QStringList>

namespace pelk {

// What a drop carries, copied out of the platform's drag data at once (the platform may
// free its data as soon as a dialog opens).
struct DropData {
    bool hasFileList = false;  // the file-drop list format ("format 15") is offered
    QStringList files;         // local paths in the order the drop source gave them
};

}  // namespace pelk
