#include "platform/widgets/qt_message_box.h"

#include "window/window_model.h"

#include <QMessageBox>

namespace pelk {

void QtMessageBox::show(const QString& text, const QString& title)
{
    QMessageBox box(QMessageBox::NoIcon, title.isEmpty() ? WindowModel::caption : title, text, QMessageBox::Ok,
                    parent_);
    box.exec();
}

}  // namespace pelk
