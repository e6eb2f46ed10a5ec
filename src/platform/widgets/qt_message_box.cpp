#include "platform/widgets/qt_message_box.h"

#include <QApplication>
#include <QMessageBox>

namespace pelk {

void QtMessageBox::show(const QString& text, const QString& title)
{
    QMessageBox box(QMessageBox::NoIcon, title.isEmpty() ? QApplication::applicationDisplayName() : title,
                    text, QMessageBox::Ok, parent_);
    box.exec();
}

}  // namespace pelk
