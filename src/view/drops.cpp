#include "view/drops.h"

#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>

namespace pelk {
namespace {

// The program only reads dropped files, so it takes a copy: accepting a move would let
// the drag source delete the user's file.
bool chooseCopy(QDropEvent* event)
{
    if (event->possibleActions() & Qt::CopyAction)
        event->setDropAction(Qt::CopyAction);
    else if (event->possibleActions() & Qt::LinkAction)
        event->setDropAction(Qt::LinkAction);
    else
        return false;
    return true;
}

}  // namespace

DropData dropDataFrom(const QMimeData* mime)
{
    DropData data;
    if (!mime)
        return data;
    data.hasFileList = mime->hasUrls();
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile())
            continue;
        const QString file = url.toLocalFile();
        data.files << file;
        // QUrl keeps bytes that are no UTF-8 percent-encoded, while the decoded text holds
        // U+FFFD for them: a name that does not come back to its bytes was not read.
        const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        if (QFile::encodeName(file) != bytes)
            data.unreadableNames << file;
    }
    return data;
}

void acceptDrag(QDropEvent* event)
{
    if (chooseCopy(event))
        event->accept();
    else
        event->ignore();
}

// The drop is finished before the handler runs: a handler may open a modal message box,
// and until the drop event returns the drag source (a file manager) waits for the end of
// the drag. The data is copied at once; the platform's drag data is gone by then.
void takeDrop(QObject* target, QDropEvent* event, const std::function<void(const DropData&)>& handler)
{
    const DropData data = dropDataFrom(event->mimeData());
    acceptDrag(event);
    QMetaObject::invokeMethod(
        target,
        [handler, data] {
            if (handler)
                handler(data);
        },
        Qt::QueuedConnection);
}

}  // namespace pelk
