#pragma once

#include "window/drop_data.h"

#include <QFrame>
#include <QImage>
#include <QPixmap>
#include <functional>

namespace pelk {

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

}  // namespace pelk
