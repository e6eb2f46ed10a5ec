#pragma once

#include "window/failure.h"

#include <QByteArray>

#include <sys/stat.h>

namespace pelk {

// Where a path leads, walked one name at a time as the kernel walks it: its last name
// (not a link; it may not exist yet) in a folder reached without links of other users.
// Each name is looked up in the folder reached so far, so ".." in a link's target climbs
// from where the link lies. A link is followed only where the kernel's rule for links in
// shared sticky folders (fs.protected_symlinks) lets the user follow it, whatever that
// rule's switch says on this machine.
struct Walk {
    QByteArray folder;  // absolute, free of links, "." and ".."; empty for the root
    QByteArray name;
    struct stat folderStat { };
    FailureKind problem = FailureKind::WriteFailed;  // ForeignFile or NotAFile when the walk says so
    int error = 0;                                   // 0 when the walk arrived
};

Walk walkPath(const QByteArray& path);

// Opens the folder the walk arrived in (O_PATH), and makes sure it is still the one
// walked; -1 with errno set otherwise.
int openWalkedFolder(const Walk& walk);

}  // namespace pelk
