#include "platform/real/ahead/written_previews.h"

#include <QFile>
#include <QFileInfo>

namespace pelk {

void WrittenPreviews::put(const QString& path, const QByteArray& bytes, QSize box, const QImage& preview)
{
    const std::lock_guard lock(mutex_);
    entry_ = Entry{QFileInfo(path).absoluteFilePath(), bytes, box, preview};
}

std::optional<QImage> WrittenPreviews::take(const QString& path, QSize box)
{
    std::optional<Entry> entry;
    {
        const std::lock_guard lock(mutex_);
        entry.swap(entry_);
    }
    if (!entry || entry->box != box || entry->path != QFileInfo(path).absoluteFilePath())
        return std::nullopt;
    // The file itself decides: another program may have written it since.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != entry->bytes.size())
        return std::nullopt;
    if (file.read(entry->bytes.size() + 1) != entry->bytes)
        return std::nullopt;
    return entry->preview;
}

}  // namespace pelk
