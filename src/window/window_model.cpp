#include "window/window_model.h"

namespace pelk {

namespace {

Design makeDesign(QString name, ControlKind kind, Twips twips, int tabIndex = -1)
{
    Design d;
    d.name = std::move(name);
    d.kind = kind;
    d.twips = twips;
    d.tabIndex = tabIndex;
    return d;
}

const QString dropHint = QStringLiteral("対象ファイルをドラック＆ドロップしてください。");

Design labelDesign(QString name, Twips twips, int tabIndex, Align align = Align::Left)
{
    Design d = makeDesign(std::move(name), ControlKind::Label, twips, tabIndex);
    d.fill = Fill::Window;
    d.align = align;
    return d;
}

Design sizeLabelDesign(QString name, Twips twips, int tabIndex)
{
    Design d = labelDesign(std::move(name), twips, tabIndex, Align::Right);
    d.redText = true;
    d.designFont = true;
    return d;
}

Design hiddenFieldDesign(QString name, Twips twips, int tabIndex)
{
    Design d = makeDesign(std::move(name), ControlKind::TextBox, twips, tabIndex);
    d.visible = false;
    return d;
}

Design named(Design d, QString accessibleName)
{
    d.accessibleName = std::move(accessibleName);
    return d;
}

Design pictureDesign(QString name, Twips twips, QString accessibleName)
{
    Design d = named(makeDesign(std::move(name), ControlKind::PictureBox, twips), std::move(accessibleName));
    d.toolTip = dropHint;
    d.fill = Fill::Window;
    d.sunken = true;
    return d;
}

}  // namespace

WindowModel::WindowModel()
    : Command1(
        [] {
            Design d = makeDesign(QStringLiteral("Command1"), ControlKind::PushButton, {120, 0, 1695, 255}, 0);
            d.designFont = true;
            d.fill = Fill::Window;
            return d;
        }(),
        QStringLiteral("BMPからJPEGへ変換")),
      HScroll1(named(makeDesign(QStringLiteral("HScroll1"), ControlKind::HScrollBar, {1920, 0, 1815, 135}, 11),
                     QStringLiteral("画質")),
               1, 99, 1, 1, 50),
      Label8(named(labelDesign(QStringLiteral("Label8"), {2160, 120, 1815, 135}, 12), QStringLiteral("画質の目盛り")),
             QStringLiteral("| | | | | | | | | | | | | | ")),
      Text2(
          [] {
              Design d = makeDesign(QStringLiteral("Text2"), ControlKind::TextBox, {4080, 0, 375, 240}, 5);
              d.designFont = true;
              d.accessibleName = QStringLiteral("画質（％）");
              return d;
          }(),
          QString(), 2),
      Label2(labelDesign(QStringLiteral("Label2"), {4560, 0, 255, 255}, 6), QStringLiteral("％")),
      Check1(
          [] {
              Design d = makeDesign(QStringLiteral("Check1"), ControlKind::CheckBox, {4920, 0, 1815, 180}, 9);
              d.toolTip = QStringLiteral("より鮮明な画像になりますが、古い画像処理ソフトには対応していません。");
              d.designFont = true;
              d.fill = Fill::Window;
              return d;
          }(),
          QStringLiteral("プログ\"レッシブ処理")),
      Check2(
          [] {
              Design d = makeDesign(QStringLiteral("Check2"), ControlKind::CheckBox, {6960, 0, 1335, 180}, 13);
              d.toolTip = QStringLiteral("常に前面表示になります。但し次回から有効になります。");
              d.fill = Fill::Window;
              return d;
          }(),
          QStringLiteral("表示形態")),
      Label3(labelDesign(QStringLiteral("Label3"), {360, 360, 1455, 255}, 2, Align::Center),
             QStringLiteral("変換前のファイル")),
      Label6(sizeLabelDesign(QStringLiteral("Label6"), {2520, 360, 1455, 255}, 7), QStringLiteral("サイズ")),
      Label4(labelDesign(QStringLiteral("Label4"), {4320, 360, 1455, 255}, 3, Align::Center),
             QStringLiteral("変換後のファィル")),
      Label7(sizeLabelDesign(QStringLiteral("Label7"), {6480, 360, 1455, 255}, 8), QStringLiteral("サイズ")),
      Label1(
          [] {
              Design d = makeDesign(QStringLiteral("Label1"), ControlKind::Label, {120, 600, 3855, 495}, 1);
              d.toolTip = QStringLiteral("変換前のファイル名が表示されます。");
              d.fill = Fill::White;
              d.sunken = true;
              return d;
          }(),
          QStringLiteral("現在のファイル名　")),
      Text1(
          [] {
              Design d = makeDesign(QStringLiteral("Text1"), ControlKind::TextBox, {4080, 600, 3855, 495}, 4);
              d.toolTip = QStringLiteral("変換後のファイル名が表示されます。");
              d.accessibleName = QStringLiteral("変換後のファイル名");
              return d;
          }(),
          QString(), 500),
      Image1(pictureDesign(QStringLiteral("Image1"), {120, 1080, 3855, 3420}, QStringLiteral("変換前の画像"))),
      Image2(pictureDesign(QStringLiteral("Image2"), {4080, 1080, 3855, 3420}, QStringLiteral("変換後の画像"))),
      Text3(hiddenFieldDesign(QStringLiteral("Text3"), {360, 1200, 975, 270}, 10), QStringLiteral("Text3"), 0),
      Text4(hiddenFieldDesign(QStringLiteral("Text4"), {360, 1800, 975, 270}, 14), QStringLiteral("Text4"), 0),
      Text5(hiddenFieldDesign(QStringLiteral("Text5"), {360, 2400, 2655, 270}, 15), QStringLiteral("Text5"), 0),
      mnuVer{QStringLiteral("mnuVer"), QStringLiteral("バージョン情報"), {}}
{
}

std::vector<Control*> WindowModel::controls()
{
    return {&Command1, &HScroll1, &Label8, &Text2, &Label2, &Check1, &Check2, &Label3, &Label6,
            &Label4,   &Label7,   &Label1, &Text1, &Image1, &Image2, &Text3,  &Text4,  &Text5};
}

Control* WindowModel::control(const QString& controlName)
{
    for (Control* c : controls())
        if (c->name() == controlName)
            return c;
    return nullptr;
}

}  // namespace pelk
