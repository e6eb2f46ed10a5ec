#include "platform/real/files/file_stamp.h"

#include <QFile>
#include <algorithm>

#include <sys/stat.h>
#include <time.h>

namespace pelk {

FileStamp fileStamp(const QString& path)
{
    struct stat st { };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    FileStamp stamp;
    stamp.valid = true;
    stamp.device = quint64(st.st_dev);
    stamp.inode = quint64(st.st_ino);
    stamp.size = qint64(st.st_size);
    stamp.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    stamp.changedNs = qint64(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec;
    const qint64 nowNs = qint64(now.tv_sec) * 1000000000LL + now.tv_nsec;
    stamp.settled = nowNs - std::max(stamp.modifiedNs, stamp.changedNs) > 100'000'000;  // 0.1 s
    return stamp;
}

}  // namespace pelk
