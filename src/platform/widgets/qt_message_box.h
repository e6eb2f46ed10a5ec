#pragma once

#include "platform/services.h"

class QWidget;

namespace pelk {

// A modal QMessageBox with one OK button and no icon, over the main window.
class QtMessageBox : public MessageBoxService {
public:
    void setParent(QWidget* parent) { parent_ = parent; }
    void show(const QString& text, const QString& title) override;

private:
    QWidget* parent_ = nullptr;
};

}  // namespace pelk
