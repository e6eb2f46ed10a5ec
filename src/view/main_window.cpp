#include "view/main_window.h"

#include "view/fonts.h"
#include "view/quality_box.h"
#include "view/scroll_bar.h"
#include "window/window_model.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <algorithm>
#include <vector>

namespace pelk {
namespace {

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

// Text boxes, the scroll bar, the check boxes and the button are windows of their own
// in the window runtime: they take the focus, and they cover the windowless labels and
// pictures they overlap.
bool windowed(ControlKind kind) { return kind != ControlKind::Label && kind != ControlKind::PictureBox; }

QWidget* createButton(CommandButton& button, QWidget* parent)
{
    auto* w = new QPushButton(button.caption(), parent);
    w->setAutoDefault(false);
    QObject::connect(w, &QPushButton::clicked, w, [&button] { button.click(); });
    button.observe([w, &button] { w->setText(button.caption()); });
    return w;
}

QWidget* createLabel(Label& label, QWidget* parent)
{
    auto* w = new QLabel(label.caption(), parent);
    w->setTextFormat(Qt::PlainText);  // a file name is never markup
    w->setAlignment(alignment(label.design().align));
    w->setWordWrap(label.design().sunken);
    label.observe([w, &label] { w->setText(label.caption()); });
    return w;
}

QWidget* createCheckBox(CheckBox& box, QWidget* parent)
{
    auto* w = new QCheckBox(box.caption(), parent);
    auto show = [w, &box] {
        const QSignalBlocker blocker(w);
        // 2 is the grayed state, which only a tristate box can show.
        w->setCheckState(box.value() == 0 ? Qt::Unchecked : box.value() == 1 ? Qt::Checked : Qt::PartiallyChecked);
        w->setTristate(box.value() == 2);
    };
    show();
    box.observe(show);
    // The widget has already toggled itself; the model decides what it shows.
    QObject::connect(w, &QCheckBox::clicked, w, [&box, show] {
        box.userClick();
        show();
    });
    return w;
}

QWidget* createPicture(PictureBox& picture, QWidget* parent)
{
    auto* w = new PictureView(parent);
    w->onDrop = [&picture](const DropData& dropped) {
        if (picture.OLEDragDrop)
            picture.OLEDragDrop(dropped);
    };
    w->setPicture(picture.picture());
    picture.observe([w, &picture] { w->setPicture(picture.picture()); });
    return w;
}

}  // namespace

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
    addMenu();

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

void MainWindow::addMenu()
{
    QAction* version = menuBar()->addAction(model_.mnuVer.caption);
    version->setObjectName(model_.mnuVer.name);
    connect(version, &QAction::triggered, this, [this] {
        if (model_.mnuVer.Click)
            model_.mnuVer.Click();
    });
}

QWidget* MainWindow::createWidget(Control& control, QWidget* parent)
{
    QWidget* widget = nullptr;
    switch (control.design().kind) {
    case ControlKind::PushButton:
        widget = createButton(static_cast<CommandButton&>(control), parent);
        break;
    case ControlKind::HScrollBar:
        widget = new ScrollBarView(static_cast<ScrollBar&>(control), parent);
        break;
    case ControlKind::Label:
        widget = createLabel(static_cast<Label&>(control), parent);
        break;
    case ControlKind::TextBox:
        widget = createTextBox(static_cast<TextBox&>(control), parent);
        break;
    case ControlKind::CheckBox:
        widget = createCheckBox(static_cast<CheckBox&>(control), parent);
        break;
    case ControlKind::PictureBox:
        widget = createPicture(static_cast<PictureBox&>(control), parent);
        break;
    }
    applyDesign(widget, control);
    return widget;
}

QLineEdit* MainWindow::createTextBox(TextBox& box, QWidget* parent)
{
    QLineEdit* edit = &box == &model_.Text2 ? new QualityBox(box, parent) : new QLineEdit(parent);
    // Only the window and the two previews take drops; a text box passes them on.
    edit->setAcceptDrops(false);
    auto show = [edit, &box] {
        // QLineEdit::setMaxLength sets the text again, putting the caret at the end: after
        // every edit, Delete at the start would send the next digit to the end.
        if (const int length = box.maxLength() > 0 ? box.maxLength() : 32767; edit->maxLength() != length)
            edit->setMaxLength(length);
        if (edit->text() != box.text())
            edit->setText(box.text());
    };
    show();
    box.observe(show);
    connect(edit, &QLineEdit::textEdited, this, [&box](const QString& text) { box.setText(text); });
    return edit;
}

void MainWindow::applyDesign(QWidget* widget, Control& control)
{
    const Design& d = control.design();
    widget->setObjectName(d.name);
    widget->setGeometry(pixels(d.twips));
    widget->setToolTip(d.toolTip);
    widget->setVisible(control.visible());
    control.observe([widget, &control] { widget->setVisible(control.visible()); });
    if (!d.accessibleName.isEmpty())
        widget->setAccessibleName(d.accessibleName);
    if (d.designFont)
        widget->setFont(designFont());
    if (!windowed(d.kind))
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
    for (const Control* control : model_.controls())
        if (control->design().tabIndex >= 0 && windowed(control->design().kind))
            stops.push_back(control);
    std::sort(stops.begin(), stops.end(),
              [](const Control* a, const Control* b) { return a->design().tabIndex < b->design().tabIndex; });
    for (std::size_t i = 1; i < stops.size(); ++i)
        QWidget::setTabOrder(widgets_.value(stops[i - 1]->name()), widgets_.value(stops[i]->name()));
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
