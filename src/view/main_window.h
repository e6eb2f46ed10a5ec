#pragma once

#include "view/drops.h"
#include "view/picture_box.h"

#include <QHash>
#include <QMainWindow>

class QLineEdit;

namespace pelk {

class WindowModel;
class Control;
class TextBox;

// The window Pelk17 as Qt widgets: a thin view over the WindowModel. Every widget shows
// its control's state, and every user action goes to the model; the handlers decide.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(WindowModel& model, QWidget* parent = nullptr);

    // The widget standing for a control of the model, by the control's name.
    QWidget* widget(const QString& name) const { return widgets_.value(name); }
    // The client area below the menu bar, where the controls sit.
    QWidget* clientArea() const { return centralWidget(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void addMenu();
    QWidget* createWidget(Control& control, QWidget* parent);
    QLineEdit* createTextBox(TextBox& box, QWidget* parent);
    void applyDesign(QWidget* widget, Control& control);
    void setTabChain();
    void stackWindowedOnTop();

    WindowModel& model_;
    QHash<QString, QWidget*> widgets_;
};

}  // namespace pelk
