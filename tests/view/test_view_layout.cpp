// The real window against the window's design table: every widget's place, texts,
// fonts, colours and visibility, which widget covers which, what a screen reader is told,
// the fixed frame, the menu, the keyboard cycle, and the version box through a real
// modal QMessageBox.
#include "form/window_options.h"
#include "platform/widgets/qt_message_box.h"
#include "support/view_fixture.h"
#include "view/main_window.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRawFont>
#include <QScrollBar>
#include <QTimer>

using namespace pelk;
using namespace pelk::test;

namespace {

QString shownText(QWidget* w)
{
    if (auto* label = qobject_cast<QLabel*>(w))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        return button->text();
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        return edit->text();
    return {};
}

QString modelText(Control* c)
{
    if (auto* label = dynamic_cast<Label*>(c))
        return label->caption();
    if (auto* button = dynamic_cast<CommandButton*>(c))
        return button->caption();
    if (auto* box = dynamic_cast<CheckBox*>(c))
        return box->caption();
    if (auto* text = dynamic_cast<TextBox*>(c))
        return text->text();
    return {};
}

// Characters the resolved font of this writing system cannot draw.
QString missingGlyphs(const QFont& font, const QString& text)
{
    const QRawFont raw = QRawFont::fromFont(font, QFontDatabase::Japanese);
    QString missing;
    for (QChar ch : text)
        if (!ch.isSpace() && !raw.supportsCharacter(ch))
            missing += ch;
    return missing;
}

// Controls with a window of their own; labels and pictures are drawn on the window.
bool windowed(ControlKind kind) { return kind != ControlKind::Label && kind != ControlKind::PictureBox; }

QRect pixelRect(const Twips& t) { return {t.left / 15, t.top / 15, t.width / 15, t.height / 15}; }

// Equal but for the rounding of blended edge pixels.
bool near(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) <= 2 && std::abs(qGreen(a) - qGreen(b)) <= 2
        && std::abs(qBlue(a) - qBlue(b)) <= 2;
}

bool isRed(QRgb p) { return qRed(p) > 200 && qGreen(p) < 80 && qBlue(p) < 80; }

}  // namespace

class ViewLayoutTest : public QObject {
    Q_OBJECT

    void addControlRows()
    {
        QTest::addColumn<QString>("name");
        WindowModel model;
        for (Control* c : model.controls())
            QTest::newRow(qPrintable(c->name())) << c->name();
    }

private slots:
    void geometryAndTexts_data() { addControlRows(); }
    void geometryAndTexts()
    {
        QFETCH(QString, name);
        ViewFixture f;
        f.window->show();
        Control* c = f.model.control(name);
        QWidget* w = f.widget(name);
        const Twips& t = c->design().twips;
        QCOMPARE(w->parentWidget(), f.window->clientArea());
        QCOMPARE(w->geometry(), QRect(t.left / 15, t.top / 15, t.width / 15, t.height / 15));
        QCOMPARE(w->toolTip(), c->design().toolTip);
        QCOMPARE(w->isVisible(), c->design().visible);
        QCOMPARE(shownText(w), modelText(c));
        QCOMPARE(w->isEnabled(), true);
    }

    // A few places checked against plain numbers, so that the pixel conversion itself
    // is covered and not just compared with itself.
    void knownPlaces_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("rect");
        QTest::newRow("Command1") << "Command1" << QRect(8, 0, 113, 17);
        QTest::newRow("Image1") << "Image1" << QRect(8, 72, 257, 228);
        QTest::newRow("Image2") << "Image2" << QRect(272, 72, 257, 228);
        QTest::newRow("Label7 ends at the preview's edge") << "Label7" << QRect(432, 24, 97, 17);
        QTest::newRow("Check2 reaches beyond the window") << "Check2" << QRect(464, 0, 89, 12);
    }
    void knownPlaces()
    {
        QFETCH(QString, name);
        QFETCH(QRect, rect);
        ViewFixture f;
        QCOMPARE(f.widget(name)->geometry(), rect);
    }

    void appearance_data() { addControlRows(); }
    void appearance()
    {
        QFETCH(QString, name);
        ViewFixture f;
        const Design& d = f.model.control(name)->design();
        QWidget* w = f.widget(name);
        const QColor menu = QApplication::palette("QMenu").color(QPalette::Window);

        QCOMPARE(f.window->palette().color(QPalette::Window), menu);
        if (d.fill == Fill::Window) {
            QVERIFY(w->autoFillBackground());
            QCOMPARE(w->palette().color(w->backgroundRole()), menu);
        } else if (d.fill == Fill::White) {
            QVERIFY(w->autoFillBackground());
            QCOMPARE(w->palette().color(w->backgroundRole()), QColor(Qt::white));
        }
        QCOMPARE(w->palette().color(QPalette::WindowText) == QColor(Qt::red), d.redText);
        if (auto* label = qobject_cast<QLabel*>(w)) {
            const Qt::Alignment h = label->alignment() & Qt::AlignHorizontal_Mask;
            QCOMPARE(h,
                     d.align == Align::Center      ? Qt::AlignHCenter
                         : d.align == Align::Right ? Qt::AlignRight
                                                   : Qt::AlignLeft);
            QCOMPARE(label->textFormat(), Qt::PlainText);
        }
        auto* frame = qobject_cast<QFrame*>(w);
        if (d.sunken) {
            QVERIFY(frame);
            QVERIFY(frame->frameShape() != QFrame::NoFrame);
            QCOMPARE(frame->frameShadow(), QFrame::Sunken);
            QVERIFY(frame->frameWidth() > 0);
        } else if (d.kind == ControlKind::Label) {
            QCOMPARE(frame->frameShape(), QFrame::NoFrame);
        }
    }

    // Controls without a text of their own get a name a screen reader can speak.
    void accessibleNames()
    {
        ViewFixture f;
        QStringList names;
        for (const char* name : {"Image1", "Image2", "HScroll1", "Text1", "Text2"}) {
            const QString spoken = f.widget(QString::fromLatin1(name))->accessibleName();
            QVERIFY2(!spoken.isEmpty(), name);
            QVERIFY2(!names.contains(spoken), name);
            names << spoken;
        }
    }

    // What a screen reader is told each control is. The previews are pictures; the label,
    // a frame as well in Qt, must stay a label.
    void accessibleRoles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("role");
        QTest::addColumn<QString>("spoken");
        QTest::newRow("Image1") << "Image1" << int(QAccessible::Graphic) << "変換前の画像";
        QTest::newRow("Image2") << "Image2" << int(QAccessible::Graphic) << "変換後の画像";
        QTest::newRow("Label1") << "Label1" << int(QAccessible::StaticText) << "現在のファイル名　";
        QTest::newRow("Text2") << "Text2" << int(QAccessible::EditableText) << "画質（％）";
    }
    void accessibleRoles()
    {
        QFETCH(QString, name);
        QFETCH(int, role);
        QFETCH(QString, spoken);
        ViewFixture f;
        f.window->show();
        QWidget* w = f.widget(name);
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
        QVERIFY(iface);
        QCOMPARE(int(iface->role()), role);
        QCOMPARE(iface->text(QAccessible::Name), spoken);
        QCOMPARE(iface->text(QAccessible::Description), f.model.control(name)->design().toolTip);
        QCOMPARE(iface->parent()->object(), f.window->clientArea());
    }

    // Where a windowed control overlaps a label or a picture, it stands above it.
    void windowedControlsOnTop()
    {
        ViewFixture f;
        const QObjectList stacking = f.window->clientArea()->children();
        const std::vector<Control*> controls = f.model.controls();
        QStringList pairs;
        for (Control* upper : controls) {
            for (Control* lower : controls) {
                if (!windowed(upper->design().kind) || windowed(lower->design().kind)
                    || !pixelRect(upper->design().twips).intersects(pixelRect(lower->design().twips)))
                    continue;
                const QString pair = upper->name() + u'/' + lower->name();
                pairs << pair;
                QVERIFY2(stacking.indexOf(f.widget(upper->name())) > stacking.indexOf(f.widget(lower->name())),
                         qPrintable(pair));
            }
        }
        for (const char* known : {"HScroll1/Label8", "Text1/Image2", "Text1/Label4", "Text1/Label7"})
            QVERIFY2(pairs.contains(QLatin1String(known)), known);
    }

    // The shared pixel row shows the windowed control drawn over the windowless one (its
    // rounded frame lets the one beneath show through at the corners).
    void overlapRowShowsTheWindowedControl_data()
    {
        QTest::addColumn<QString>("upper");
        QTest::addColumn<QString>("lower");
        QTest::newRow("the slider over its tick scale") << "HScroll1"
                                                        << "Label8";
        QTest::newRow("the output path over its preview") << "Text1"
                                                          << "Image2";
    }
    void overlapRowShowsTheWindowedControl()
    {
        QFETCH(QString, upper);
        QFETCH(QString, lower);
        ViewFixture f;
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        QWidget* top = f.widget(upper);
        QWidget* under = f.widget(lower);
        const QRect overlap = top->geometry() & under->geometry();
        QCOMPARE(overlap.height(), 1);
        const QImage shot = f.window->clientArea()->grab().toImage();
        const QImage underAlone = under->grab().toImage();
        QImage expected = underAlone;
        {
            QPainter painter(&expected);
            top->render(&painter, top->pos() - under->pos(), QRegion(), QWidget::DrawChildren);
        }
        int covered = 0;
        for (int x = overlap.left(); x <= overlap.right(); ++x) {
            const QPoint at = QPoint(x, overlap.top()) - under->pos();
            covered += !near(expected.pixel(at), underAlone.pixel(at));
            QVERIFY2(near(shot.pixel(x, overlap.top()), expected.pixel(at)), qPrintable(QStringLiteral("x %1").arg(x)));
        }
        QVERIFY2(covered > overlap.width() / 2, "the upper control hardly draws on this row: the check cannot tell");
    }

    void fonts_data() { addControlRows(); }
    void fonts()
    {
        QFETCH(QString, name);
        ViewFixture f;
        Control* c = f.model.control(name);
        QWidget* w = f.widget(name);
        const QFontInfo info(w->font());
        if (c->design().designFont) {
            QCOMPARE(w->font().family(), designFontFamily);
            QCOMPARE(w->font().pointSizeF(), 8.25);
            QCOMPARE(info.weight(), int(QFont::Normal));
            QVERIFY(!info.italic());
            QVERIFY2(QFontDatabase::writingSystems(info.family()).contains(QFontDatabase::Japanese),
                     qPrintable(info.family()));
            if (QFontDatabase::hasFamily(QStringLiteral("IPAPGothic")))
                QCOMPARE(info.family(), QStringLiteral("IPAPGothic"));
        } else {
            QCOMPARE(w->font(), f.window->font());
        }
        // Whatever the face, every character the control shows must have a glyph.
        QCOMPARE(missingGlyphs(w->font(), modelText(c)), QString());
    }

    void japaneseEverywhere()
    {
        ViewFixture f;
        // The menu, the window's default font and a message box's font all draw Japanese.
        QCOMPARE(missingGlyphs(f.window->font(), QStringLiteral("バージョン情報完了しました。")), QString());
        QCOMPARE(missingGlyphs(QApplication::font(), versionTitle), QString());
        QCOMPARE(missingGlyphs(f.window->menuBar()->font(), f.model.mnuVer.caption), QString());
    }

    void renderedColours()
    {
        ViewFixture f;
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        const QImage shot = f.window->clientArea()->grab().toImage();
        const QColor menu = QApplication::palette("QMenu").color(QPalette::Window);
        // Right of the labels' row, under the cut-off check box: bare window surface.
        QCOMPARE(QColor(shot.pixel(530, 20)), menu);
        // Label1's inside, below its one line of text.
        QCOMPARE(QColor(shot.pixel(258, 69)), QColor(Qt::white));
        // Label6 and Label7 draw their text in red.
        for (const char* label : {"Label6", "Label7"}) {
            const QRect r = f.widget(QString::fromLatin1(label))->geometry();
            int red = 0;
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    red += isRed(shot.pixel(x, y));
            QVERIFY2(red > 10, label);
        }
    }

    void fixedFrame()
    {
        ViewFixture f;
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        MainWindow& w = *f.window;
        QCOMPARE(w.windowTitle(), QStringLiteral("Pelk17"));
        QCOMPARE(w.clientArea()->size(), QSize(533, 305));
        // The client area lies below the menu bar, and the window is no larger than both.
        QCOMPARE(w.clientArea()->y(), w.menuBar()->geometry().bottom() + 1);
        QCOMPARE(w.size(), QSize(533, 305 + w.menuBar()->height()));
        QCOMPARE(w.minimumSize(), w.size());
        QCOMPARE(w.maximumSize(), w.size());
        const Qt::WindowFlags flags = w.windowFlags();
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(flags & Qt::WindowMinimizeButtonHint);
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(flags & Qt::WindowSystemMenuHint);
    }

    void iconResource()
    {
        const QImage icon(QStringLiteral(":/pelk17.png"));
        QCOMPARE(icon.size(), QSize(32, 32));
    }

    void menu()
    {
        ViewFixture f;
        const QList<QAction*> actions = f.window->menuBar()->actions();
        QCOMPARE(actions.size(), 1);
        QAction* ver = actions.first();
        QCOMPARE(ver->objectName(), QStringLiteral("mnuVer"));
        QCOMPARE(ver->text(), QStringLiteral("バージョン情報"));
        QVERIFY(!ver->menu());
        QVERIFY(ver->shortcut().isEmpty());
        QVERIFY(!ver->isCheckable());
        ver->trigger();
        QCOMPARE(f.platform.messages.shown.size(), std::size_t(1));
        QCOMPARE(f.platform.messages.shown[0].text, versionText());
        QCOMPARE(f.platform.messages.shown[0].title, QStringLiteral("Pelk情報"));
    }

    // The one test through a real modal box: the menu item shows it over the window,
    // with the version text, its title and a single OK button, and returns once closed.
    void versionBoxIsRealAndModal()
    {
        TestPlatform tp;
        QtMessageBox box;
        Platform platform{tp.pictures, tp.files, box, tp.windowSystem, tp.encoder};
        ViewFixture f(&platform);
        box.setParent(f.window.get());
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));

        QString title, text;
        QStringList buttons;
        bool iconless = false;
        auto* poll = new QTimer(f.window.get());
        QObject::connect(poll, &QTimer::timeout, [&] {
            auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!shown)
                return;
            poll->stop();
            title = shown->windowTitle();
            text = shown->text();
            iconless = shown->icon() == QMessageBox::NoIcon;
            for (QAbstractButton* b : shown->buttons())
                buttons << (shown->standardButton(b) == QMessageBox::Ok ? QStringLiteral("OK") : b->text());
            QCOMPARE(shown->parentWidget(), f.window.get());
            shown->button(QMessageBox::Ok)->click();
        });
        poll->start(10);
        f.window->menuBar()->actions().first()->trigger();  // returns when the box is closed
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(title, QStringLiteral("Pelk情報"));
        QCOMPARE(text, versionText());
        QVERIFY(text.startsWith(QStringLiteral("Pelk Ver17.0\r\n\r\n")));
        QCOMPARE(buttons, QStringList{QStringLiteral("OK")});
        QVERIFY(iconless);
    }

    void tabChain_data()
    {
        QTest::addColumn<bool>("qualityVisible");
        QTest::addColumn<QStringList>("cycle");
        QTest::newRow("quality shown") << true << QStringList{"Command1", "Text1",  "Text2",   "Check1",
                                                              "HScroll1", "Check2", "Command1"};
        QTest::newRow("quality hidden") << false << QStringList{"Command1", "Text1", "Check1", "Check2", "Command1"};
    }
    void tabChain()
    {
        QFETCH(bool, qualityVisible);
        QFETCH(QStringList, cycle);
        ViewFixture f;
        for (Control* c : {static_cast<Control*>(&f.model.HScroll1), static_cast<Control*>(&f.model.Label2),
                           static_cast<Control*>(&f.model.Text2), static_cast<Control*>(&f.model.Label8)})
            c->setVisible(qualityVisible);
        QVERIFY(f.showActive());
        QStringList seen{QApplication::focusWidget()->objectName()};
        for (int i = 1; i < cycle.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(seen, cycle);
        // And backwards.
        QStringList back{QApplication::focusWidget()->objectName()};
        for (int i = 1; i < cycle.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
            back << QApplication::focusWidget()->objectName();
        }
        std::reverse(cycle.begin(), cycle.end());
        QCOMPARE(back, cycle);
    }

    void initialFocusOnTheButton()
    {
        ViewFixture f;
        QVERIFY(f.showActive());
        QCOMPARE(QApplication::focusWidget(), f.widget("Command1"));
    }

    void hiddenFieldsStayHidden()
    {
        ViewFixture f;
        f.window->show();
        f.model.Text3.setText(QStringLiteral("bmp"));
        f.model.Text5.setMaxLength(3);
        f.model.Text5.setText(QStringLiteral("abcdef"));
        for (const char* name : {"Text3", "Text4", "Text5"}) {
            QWidget* w = f.widget(QString::fromLatin1(name));
            QVERIFY2(!w->isVisible(), name);
            QCOMPARE(w->acceptDrops(), false);
        }
        QCOMPARE(f.widget<QLineEdit>("Text3")->text(), QStringLiteral("bmp"));
        QCOMPARE(f.widget<QLineEdit>("Text5")->text(), QStringLiteral("abc"));
    }

    // Model changes reach the widgets: captions, texts, values and visibility.
    void followsTheModel()
    {
        ViewFixture f;
        f.window->show();
        f.model.Command1.setCaption(QStringLiteral("jpegから BMPへ変換"));
        f.model.Label1.setCaption(QStringLiteral("/tmp/<b>x</b>.jpg"));
        f.model.Text1.setText(QStringLiteral("/tmp/x.bmp"));
        f.model.HScroll1.setValue(12);
        f.model.Label8.setVisible(false);
        QCOMPARE(f.widget<QPushButton>("Command1")->text(), QStringLiteral("jpegから BMPへ変換"));
        QCOMPARE(f.widget<QLabel>("Label1")->text(), QStringLiteral("/tmp/<b>x</b>.jpg"));
        QCOMPARE(f.widget<QLineEdit>("Text1")->text(), QStringLiteral("/tmp/x.bmp"));
        QCOMPARE(f.widget<QScrollBar>("HScroll1")->value(), 12);
        QCOMPARE(f.model.Text2.text(), QStringLiteral("12"));
        QCOMPARE(f.widget<QLineEdit>("Text2")->text(), QStringLiteral("12"));
        QVERIFY(!f.widget("Label8")->isVisible());
        QVERIFY(f.widget("Label2")->isVisible());
    }
};

QTEST_MAIN(ViewLayoutTest)
#include "test_view_layout.moc"
