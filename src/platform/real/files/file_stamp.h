#pragma once

#include <QString>
#include <QtGlobal>

namespace pelk {

// What tells one version of a file from another: a write changes its change time, a
// replacement its identity.
struct FileStamp {
    bool valid = false;
    quint64 device = 0, inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0, changedNs = 0;
    // File times advance in clock ticks of a few milliseconds: a file written within a
    // tick of being examined may be written again with the very same stamp. Only a file
    // left alone for a while before is told apart from its later versions for sure.
    bool settled = false;

    bool sameVersion(const FileStamp& o) const
    {
        return valid && o.valid && settled && o.settled && device == o.device && inode == o.inode && size == o.size
            && modifiedNs == o.modifiedNs && changedNs == o.changedNs;
    }
};

// Invalid when the file cannot be examined.
FileStamp fileStamp(const QString& path);

}  // namespace pelk
