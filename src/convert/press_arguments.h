#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace pelk {

class WindowModel;

// What a press does with the source type in Text3, compared exactly and case-sensitively.
enum class Conversion {
    ToBitmap,  // "jpg" or "gif": the source picture is saved as a bitmap
    ToJpeg,    // "bmp": the encoder writes a JPEG
    Apology,   // "ico": the press apologises
    None,      // anything else: the press converts nothing
};
Conversion conversionOf(const QString& type);

// A press's first three steps, read from the window without changing it: the quality box
// as a 16-bit integer (Failure when it holds no such number), whether a press at that
// quality converts at all, and the output path and progressive option it then captures
// (a grayed box keeps the option captured last).
struct PressArguments {
    std::int16_t quality = 0;
    bool converts = false;
    QString outputPath;
    QString progressiveText;
};
PressArguments readPressArguments(const WindowModel& w);

// The encoder's source, quality and option as a press passes them. Failure(TypeMismatch)
// when no option was ever captured (a grayed box at the first press).
struct EncodeArguments {
    QByteArray source;
    std::uint8_t quality = 0;
    bool progressive = false;
};
EncodeArguments encodeArguments(const QString& sourcePath, std::int16_t quality, const QString& progressiveText);

}  // namespace pelk
