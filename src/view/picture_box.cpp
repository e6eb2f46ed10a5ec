#include "view/picture_box.h"

#include "view/drops.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QPainter>

namespace pelk {
namespace {

// The previews as a screen reader should see them: pictures, with the name and the
// description (the tooltip) the widget has.
QAccessibleInterface* pictureAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String("pelk::PictureView") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Graphic);
    return nullptr;
}

}  // namespace

PictureView::PictureView(QWidget* parent) : QFrame(parent)
{
    static const bool accessible = [] {
        QAccessible::installFactory(pictureAccessible);
        return true;
    }();
    Q_UNUSED(accessible);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    setAcceptDrops(true);
}

void PictureView::setPicture(const QImage& picture)
{
    if (picture.cacheKey() == picture_.cacheKey() && picture.isNull() == picture_.isNull())
        return;
    picture_ = picture;
    rescale();
    update();
}

void PictureView::rescale()
{
    const QSize box = contentsRect().size();
    if (picture_.isNull() || box.isEmpty()) {
        scaled_ = QPixmap();
        return;
    }
    const qreal ratio = devicePixelRatioF();
    const QSize target = box * ratio;
    // Smoothing reads every pixel: on a 48-megapixel picture it takes longer than the
    // decoding. Far larger pictures are first thinned out to four samples a side of each
    // shown pixel, which the smoothing then averages.
    QImage source = picture_;
    if (source.width() > 8 * target.width() && source.height() > 8 * target.height())
        source = source.scaled(target * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    scaled_ = QPixmap::fromImage(source.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    scaled_.setDevicePixelRatio(ratio);
}

void PictureView::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    if (scaled_.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(contentsRect().topLeft(), scaled_);
}

void PictureView::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    rescale();
}

void PictureView::dragEnterEvent(QDragEnterEvent* event) { acceptDrag(event); }
void PictureView::dragMoveEvent(QDragMoveEvent* event) { acceptDrag(event); }
void PictureView::dropEvent(QDropEvent* event) { takeDrop(this, event, onDrop); }

}  // namespace pelk
