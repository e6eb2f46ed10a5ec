#pragma once

#include "window/drop_data.h"

#include <QFrame>
#include <QHash>
#include <QMainWindow>
#include <QPixmap>
#include <functional>

class QMimeData;
class QLineEdit;
class QInputMethodEvent;

namespace pelk {

class WindowModel;
class Control;

// What a drop carries, copied out of Qt's drag data: only local files count, in the
// order the source gave them.
DropData dropDataFrom(const QMimeData* mime);

// A picture box: a sunken frame whose picture is stretched to fill the inside exactly.
// The picture is scaled once when it arrives, not on every paint: sources may be huge.
// A screen reader sees it as a picture, not as the frame it is drawn in.
class PictureView : public QFrame {
    Q_OBJECT
public:
    explicit PictureView(QWidget* parent = nullptr);

    void setPicture(const QImage& picture);
    // The scaled picture as painted; null when there is none.
    const QPixmap& shownPixmap() const { return scaled_; }

    std::function<void(const DropData&)> onDrop;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void rescale();

    QImage picture_;
    QPixmap scaled_;
};

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
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* createWidget(Control& control, QWidget* parent);
    void bindTextBox(QLineEdit* edit, Control& control);
    void applyDesign(QWidget* widget, const Control& control);
    void setTabChain();
    void stackWindowedOnTop();
    bool filterQualityKey(QLineEdit* edit, QKeyEvent* event);
    bool filterQualityInput(QLineEdit* edit, QInputMethodEvent* event);

    WindowModel& model_;
    QHash<QString, QWidget*> widgets_;
    bool resending_ = false;  // an event the quality filter made is on its way to the box
};

}  // namespace pelk
