#pragma once

#include "window/controls.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

// The window Pelk17 without widgets: its controls as designed, and the window variables.
// A thin widget view shows it; handlers and tests work on it directly.
namespace pelk {

// The face five controls name; the others use the window's default font.
inline const QString designFontFamily = QStringLiteral("ＭＳ Ｐゴシック");
inline constexpr double designFontPoints = 8.25;

// The window Pelk17: eighteen controls, one menu item, eleven window variables.
class WindowModel {
public:
    WindowModel();
    WindowModel(const WindowModel&) = delete;
    WindowModel& operator=(const WindowModel&) = delete;

    static inline const QString name = QStringLiteral("Pelk17");
    static inline const QString caption = QStringLiteral("Pelk17");
    static constexpr int clientWidthTwips = 7995;
    static constexpr int clientHeightTwips = 4575;
    static QSize clientPixels() { return pixels({0, 0, clientWidthTwips, clientHeightTwips}).size(); }

    CommandButton Command1;  // the convert button; its caption names the conversion
    ScrollBar HScroll1;      // the quality slider, coupled with Text2
    Label Label8;            // the tick scale under the slider
    TextBox Text2;           // the quality number, two digits at most
    Label Label2;            // the percent sign beside the quality number
    CheckBox Check1;         // the progressive JPEG option, kept in the settings
    CheckBox Check2;         // the always-on-top option, kept in the settings
    Label Label3;            // the heading over the source side
    Label Label6;            // the source file's size in bytes
    Label Label4;            // the heading over the output side
    Label Label7;            // the output file's size in bytes
    Label Label1;            // the source path: shown here and stored nowhere else
    TextBox Text1;           // the output path a press writes to
    PictureBox Image1;       // the source preview; takes drops
    PictureBox Image2;       // the output preview; takes drops
    // Hidden working fields, never shown and never focused.
    TextBox Text3;    // the source type, the path's last three characters; a press and a refused drop
                      // leave in it what is no type, so that the next press converts nothing
    TextBox Text4;    // the base length: the source path's length minus 4, as decimal text
    TextBox Text5;    // the base path: its maximum length set to the base length, it keeps the path cut there
    MenuItem mnuVer;  // the one menu item: the version box

    // Window variables.
    std::int16_t qualityValue = 0;  // the quality taken from Text2 at a press
    QString outputPath;             // the output path taken from Text1 at a press
    QString progressiveText;        // Check1 at a press, as the text of true or false
    QString sourcePathVar;          // a copy of the source path taken by the drop handlers and go
    QString sourceType;             // the copy of Text3 on which go picks the mode
    // The settings record: touched only by the settings routines.
    QString savedQualityText;           // line 1 as saved
    std::int16_t savedProgressive = 0;  // Check1's value as saved
    std::int16_t savedTopmost = 0;      // Check2's value as saved
    double loadedQuality = 0;           // line 1 read as a number at start-up
    QString loadedProgressive;          // line 2 as read
    QString loadedTopmost;              // line 3 as read

    // Window events.
    Event Load;
    std::function<void(std::int16_t& cancel)> Unload;
    std::function<void(const DropData&)> OLEDragDrop;

    // The controls in the order of the layout table.
    std::vector<Control*> controls();
    Control* control(const QString& controlName);
};

}  // namespace pelk
