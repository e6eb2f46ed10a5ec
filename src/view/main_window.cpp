#include "view/main_window.h"

#include "view/fonts.h"
#include "window/window_model.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QUrl>
#include <algorithm>
#include <vector>

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

// Nothing happens while a drag passes over: the drag is merely accepted. Any drag is, not
// only one carrying files: a drop without files re-reads the file already shown.
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
    if (chooseCopy(event))
        event->accept();
    else
        event->ignore();
    QMetaObject::invokeMethod(
        target,
        [handler, data] {
            if (handler)
                handler(data);
        },
        Qt::QueuedConnection);
}

Qt::Alignment alignment(Align align)
{
    switch (align) {
    case Align::Center:
        return Qt::AlignHCenter | Qt::AlignTop;
    case Align::Right:
        return Qt::AlignRight | Qt::AlignTop;
    case Align::Left:
        break;
    }
    return Qt::AlignLeft | Qt::AlignTop;
}

// Names a screen reader speaks for controls whose text does not say what they are.
// The character codes a key enters into a text box, one per UTF-16 unit, as the window
// runtime passes them to a key-press handler; none for keys that enter no character
// (arrows, Delete, Tab), which the box handles as any text box does.
std::vector<std::int16_t> characterCodes(const QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete:  // X11 gives it the text U+007F, yet it deletes, it enters nothing
        return {};
    case Qt::Key_Backspace:
        // With Ctrl it enters DEL, a control key like any other (the box alone would
        // delete a word with it).
        return {std::int16_t((event->modifiers() & Qt::ControlModifier) ? 127 : 8)};
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return {13};
    case Qt::Key_Escape:
        return {27};
    default:
        break;
    }
    const Qt::KeyboardModifiers mods = event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    // Ctrl+letter is a control character (Ctrl+V is 22): the edit shortcuts are keys too.
    if (mods == Qt::ControlModifier && event->key() >= Qt::Key_A && event->key() <= Qt::Key_Z)
        return {static_cast<std::int16_t>(event->key() - Qt::Key_A + 1)};
    // Whatever the modifiers (AltGr, Alt, a compose sequence), the text is what would be
    // entered. Codes above 0x7FFF arrive negative, as a 16-bit character code does.
    std::vector<std::int16_t> codes;
    for (const QChar c : event->text())
        codes.push_back(static_cast<std::int16_t>(c.unicode()));
    return codes;
}

std::int16_t throughKeyPress(TextBox& box, std::int16_t code) { return box.keyPress(code); }

// The previews as a screen reader should see them: pictures, with the name and the
// description (the tooltip) the widget has.
QAccessibleInterface* pictureAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String("pelk::PictureView") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Graphic);
    return nullptr;
}

// Text boxes, the scroll bar, the check boxes and the button are windows of their own
// in the window runtime and cover the windowless labels and pictures they overlap.
bool windowed(ControlKind kind) { return kind != ControlKind::Label && kind != ControlKind::PictureBox; }

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

// ---- PictureView

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

// ---- MainWindow

MainWindow::MainWindow(WindowModel& model, QWidget* parent) : QMainWindow(parent), model_(model)
{
    installJapaneseFonts();
    setObjectName(WindowModel::name);
    setWindowTitle(WindowModel::caption);
    // Fixed frame: minimise, close and the system menu, but no maximise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    // The window's background is the menu colour, not the dialog face.
    QPalette windowPalette = palette();
    windowPalette.setColor(QPalette::Window, QApplication::palette("QMenu").color(QPalette::Window));
    setPalette(windowPalette);
    setAcceptDrops(true);

    QAction* version = menuBar()->addAction(model_.mnuVer.caption);
    version->setObjectName(model_.mnuVer.name);
    connect(version, &QAction::triggered, this, [this] {
        if (model_.mnuVer.Click)
            model_.mnuVer.Click();
    });

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(WindowModel::clientPixels());
    client->setAutoFillBackground(true);
    setCentralWidget(client);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    for (Control* control : model_.controls())
        widgets_.insert(control->name(), createWidget(*control, client));
    stackWindowedOnTop();
    setTabChain();
    widgets_.value(model_.Command1.name())->setFocus();
}

QWidget* MainWindow::createWidget(Control& control, QWidget* parent)
{
    QWidget* widget = nullptr;
    switch (control.design().kind) {
    case ControlKind::PushButton: {
        auto& button = static_cast<CommandButton&>(control);
        auto* w = new QPushButton(button.caption(), parent);
        w->setAutoDefault(false);
        connect(w, &QPushButton::clicked, this, [&button] { button.click(); });
        button.observe([w, &button] {
            w->setText(button.caption());
            w->setVisible(button.visible());
        });
        widget = w;
        break;
    }
    case ControlKind::HScrollBar: {
        auto& bar = static_cast<ScrollBar&>(control);
        auto* w = new QScrollBar(Qt::Horizontal, parent);
        w->setRange(bar.min(), bar.max());
        w->setSingleStep(bar.smallChange());
        w->setPageStep(bar.largeChange());
        w->setValue(bar.value());
        w->setFocusPolicy(Qt::StrongFocus);
        w->installEventFilter(this);
        connect(w, &QScrollBar::sliderMoved, this, [&bar](int v) { bar.dragTo(v); });
        connect(w, &QScrollBar::sliderReleased, this, [&bar] { bar.endDrag(); });
        // Keys, arrow and track clicks; a drag reports through sliderMoved instead.
        connect(w, &QScrollBar::valueChanged, this, [w, &bar](int v) {
            if (!w->isSliderDown())
                bar.setValue(v);
        });
        bar.observe([w, &bar] {
            const QSignalBlocker blocker(w);
            if (w->value() != bar.value())
                w->setValue(bar.value());
            w->setVisible(bar.visible());
        });
        widget = w;
        break;
    }
    case ControlKind::Label: {
        auto& label = static_cast<Label&>(control);
        auto* w = new QLabel(label.caption(), parent);
        w->setTextFormat(Qt::PlainText);  // a file name is never markup
        w->setAlignment(alignment(control.design().align));
        w->setWordWrap(control.design().sunken);
        label.observe([w, &label] {
            w->setText(label.caption());
            w->setVisible(label.visible());
        });
        widget = w;
        break;
    }
    case ControlKind::TextBox: {
        auto* w = new QLineEdit(parent);
        bindTextBox(w, control);
        widget = w;
        break;
    }
    case ControlKind::CheckBox: {
        auto& box = static_cast<CheckBox&>(control);
        auto* w = new QCheckBox(box.caption(), parent);
        auto show = [w, &box] {
            const QSignalBlocker blocker(w);
            // 2 is the grayed state, which only a tristate box can show.
            w->setCheckState(box.value() == 0 ? Qt::Unchecked : box.value() == 1 ? Qt::Checked : Qt::PartiallyChecked);
            w->setTristate(box.value() == 2);
            w->setVisible(box.visible());
        };
        show();
        box.observe(show);
        // The widget has already toggled itself; the model decides what it shows.
        connect(w, &QCheckBox::clicked, this, [&box, show] {
            box.userClick();
            show();
        });
        widget = w;
        break;
    }
    case ControlKind::PictureBox: {
        auto& picture = static_cast<PictureBox&>(control);
        auto* w = new PictureView(parent);
        w->onDrop = [&picture](const DropData& dropped) {
            if (picture.OLEDragDrop)
                picture.OLEDragDrop(dropped);
        };
        w->setPicture(picture.picture());
        picture.observe([w, &picture] {
            w->setPicture(picture.picture());
            w->setVisible(picture.visible());
        });
        widget = w;
        break;
    }
    }
    applyDesign(widget, control);
    return widget;
}

void MainWindow::bindTextBox(QLineEdit* edit, Control& control)
{
    auto& box = static_cast<TextBox&>(control);
    // Only the window and the two previews take drops; a text box passes them on.
    edit->setAcceptDrops(false);
    auto show = [edit, &box] {
        // QLineEdit::setMaxLength sets the text again, putting the caret at the end: after
        // every edit, Delete at the start would send the next digit to the end.
        if (const int length = box.maxLength() > 0 ? box.maxLength() : 32767; edit->maxLength() != length)
            edit->setMaxLength(length);
        if (edit->text() != box.text())
            edit->setText(box.text());
        edit->setVisible(box.visible());
    };
    show();
    box.observe(show);
    connect(edit, &QLineEdit::textEdited, this, [&box](const QString& text) { box.setText(text); });
    if (&box == &model_.Text2) {
        edit->installEventFilter(this);
        edit->setInputMethodHints(Qt::ImhDigitsOnly);  // a virtual keyboard offers digits
    }
}

void MainWindow::applyDesign(QWidget* widget, const Control& control)
{
    const Design& d = control.design();
    widget->setObjectName(d.name);
    widget->setGeometry(pixels(d.twips));
    widget->setToolTip(d.toolTip);
    widget->setVisible(control.visible());
    if (!d.accessibleName.isEmpty())
        widget->setAccessibleName(d.accessibleName);
    if (d.designFont)
        widget->setFont(designFont());
    if (d.kind == ControlKind::Label || d.kind == ControlKind::PictureBox)
        widget->setFocusPolicy(Qt::NoFocus);

    QPalette pal = widget->palette();
    switch (d.fill) {
    case Fill::Window:
        pal.setColor(widget->backgroundRole(), palette().color(QPalette::Window));
        widget->setAutoFillBackground(true);
        break;
    case Fill::White:
        pal.setColor(widget->backgroundRole(), Qt::white);
        widget->setAutoFillBackground(true);
        break;
    case Fill::Platform:
        break;
    }
    if (d.redText)
        pal.setColor(QPalette::WindowText, Qt::red);
    widget->setPalette(pal);

    if (d.sunken) {
        if (auto* frame = qobject_cast<QFrame*>(widget)) {
            frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            frame->setLineWidth(2);
        }
    }
}

void MainWindow::stackWindowedOnTop()
{
    // Raised in creation order, they keep their order among themselves.
    for (const Control* control : model_.controls())
        if (windowed(control->design().kind))
            widgets_.value(control->name())->raise();
}

void MainWindow::setTabChain()
{
    std::vector<const Control*> stops;
    for (const Control* control : model_.controls()) {
        const ControlKind kind = control->design().kind;
        if (control->design().tabIndex >= 0 && kind != ControlKind::Label && kind != ControlKind::PictureBox)
            stops.push_back(control);
    }
    std::sort(stops.begin(), stops.end(),
              [](const Control* a, const Control* b) { return a->design().tabIndex < b->design().tabIndex; });
    for (std::size_t i = 1; i < stops.size(); ++i)
        QWidget::setTabOrder(widgets_.value(stops[i - 1]->name()), widgets_.value(stops[i]->name()));
}

// Every character a key enters goes through Text2_KeyPress, which may discard or change
// it; the box enters what is left, or handles the key itself when that is all of it.
bool MainWindow::filterQualityKey(QLineEdit* edit, QKeyEvent* event)
{
    const std::vector<std::int16_t> codes = characterCodes(event);
    if (codes.empty())
        return false;
    std::vector<std::int16_t> kept;
    for (const std::int16_t code : codes)
        if (const std::int16_t entered = throughKeyPress(model_.Text2, code); entered != 0)
            kept.push_back(entered);
    // With Ctrl held the box would enter nothing itself (Ctrl+H is a backspace here).
    if (kept == codes && (event->key() == Qt::Key_Backspace || !(event->modifiers() & Qt::ControlModifier)))
        return false;

    resending_ = true;
    QString run;
    auto enterRun = [&] {
        if (run.isEmpty())
            return;
        QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, run);
        QApplication::sendEvent(edit, &key);
        run.clear();
    };
    for (const std::int16_t code : kept) {
        if (code != 8) {
            run += QChar(static_cast<char16_t>(code));
            continue;
        }
        enterRun();
        QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier, QStringLiteral("\b"));
        QApplication::sendEvent(edit, &backspace);
    }
    enterRun();
    resending_ = false;
    return true;
}

// An input method commits characters without a key press; they are filtered as typed
// ones. Its composition is not shown either: most of it would be discarded at commit.
bool MainWindow::filterQualityInput(QLineEdit* edit, QInputMethodEvent* event)
{
    QString kept;
    for (const QChar c : event->commitString()) {
        const std::int16_t entered = throughKeyPress(model_.Text2, static_cast<std::int16_t>(c.unicode()));
        if (entered != 0 && entered != 8)  // a commit inserts: a backspace has no text
            kept += QChar(static_cast<char16_t>(entered));
    }
    QInputMethodEvent filtered(QString(), {});
    filtered.setCommitString(kept, event->replacementStart(), event->replacementLength());
    resending_ = true;
    QApplication::sendEvent(edit, &filtered);
    resending_ = false;
    event->setAccepted(filtered.isAccepted());
    return true;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    // A horizontal QScrollBar steps backwards on Left and Right (its controls are
    // inverted for scrolling documents); the arrows must move the thumb their way.
    if (event->type() == QEvent::KeyPress && watched == widgets_.value(model_.HScroll1.name())) {
        auto* bar = static_cast<QScrollBar*>(watched);
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Left || key == Qt::Key_Right) {
            const bool forward = (key == Qt::Key_Right) != bar->isRightToLeft();
            bar->triggerAction(forward ? QAbstractSlider::SliderSingleStepAdd : QAbstractSlider::SliderSingleStepSub);
            return true;
        }
    }
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::InputMethod) && !resending_) {
        auto* edit = qobject_cast<QLineEdit*>(watched);
        if (edit && edit == widgets_.value(model_.Text2.name()))
            return event->type() == QEvent::KeyPress ? filterQualityKey(edit, static_cast<QKeyEvent*>(event))
                                                     : filterQualityInput(edit, static_cast<QInputMethodEvent*>(event));
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    std::int16_t cancel = 0;
    if (model_.Unload)
        model_.Unload(cancel);
    if (cancel)
        event->ignore();
    else
        event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) { acceptDrag(event); }
void MainWindow::dragMoveEvent(QDragMoveEvent* event) { acceptDrag(event); }
void MainWindow::dropEvent(QDropEvent* event) { takeDrop(this, event, model_.OLEDragDrop); }

}  // namespace pelk
