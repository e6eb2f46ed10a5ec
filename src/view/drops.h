#pragma once

#include "window/drop_data.h"

#include <functional>

class QMimeData;
class QObject;
class QDropEvent;

namespace pelk {

// What a drop carries, copied out of Qt's drag data: only local files count, in the
// order the source gave them.
DropData dropDataFrom(const QMimeData* mime);

// Nothing happens while a drag passes over: the drag is merely accepted. Any drag is, not
// only one carrying files: a drop without files re-reads the file already shown.
void acceptDrag(QDropEvent* event);

// Accepts the drop as a drag and hands its data to the handler once the event has returned.
void takeDrop(QObject* target, QDropEvent* event, const std::function<void(const DropData&)>& handler);

}  // namespace pelk
