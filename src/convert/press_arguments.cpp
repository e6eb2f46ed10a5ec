#include "convert/press_arguments.h"

#include "window/numbers.h"
#include "window/window_model.h"

#include <QFile>

namespace pelk {

Conversion conversionOf(const QString& type)
{
    if (type == u"jpg" || type == u"gif")
        return Conversion::ToBitmap;
    if (type == u"bmp")
        return Conversion::ToJpeg;
    if (type == u"ico")
        return Conversion::Apology;
    return Conversion::None;
}

PressArguments readPressArguments(const WindowModel& w)
{
    PressArguments press;
    // An empty or non-numeric box fails here.
    press.quality = toInt16(QStringView(w.Text2.text()));
    // 0 is the encoder's lowest quality; a negative number (only a paste can bring one) is
    // as invalid as one above 100.
    press.converts = press.quality >= 0 && press.quality <= 100;
    press.outputPath = w.Text1.text();
    press.progressiveText = w.progressiveText;
    if (w.Check1.value() == 0)
        press.progressiveText = booleanText(false);
    else if (w.Check1.value() == 1)
        press.progressiveText = booleanText(true);
    return press;
}

EncodeArguments encodeArguments(const QString& sourcePath, std::int16_t quality, const QString& progressiveText)
{
    return {QFile::encodeName(sourcePath), toByte(quality), toBoolean(progressiveText)};
}

}  // namespace pelk
