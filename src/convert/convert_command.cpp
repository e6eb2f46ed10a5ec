#include "convert/convert_command.h"

#include "platform/services.h"
#include "settings/settings_file.h"
#include "window/failure.h"
#include "window/numbers.h"
#include "window/window_model.h"

#include <QFile>

namespace pelk {
namespace {

void showOutput(WindowModel& w, Platform& p)
{
    // The output preview is only ever shown, never saved: it may be read at box size.
    w.Image2.setPicture(p.pictures.loadForDisplay(w.Text1.text(), pixels(w.Image2.design().twips).size()));
    w.Label7.setCaption(QString::number(p.files.length(w.Text1.text())) + QStringLiteral("Bytes"));
}

// Steps 1 to 6 of a press; any failure leaves them at once.
void convertAndSave(WindowModel& w, Platform& p)
{
    // 1. The quality (an empty or non-numeric box fails here).
    w.qualityValue = toInt16(QStringView(w.Text2.text()));

    // 2. Out of range converts nothing. 0 is the encoder's lowest quality; a negative
    //    number (only a paste can bring one) is as invalid as one above 100.
    if (w.qualityValue > 100 || w.qualityValue < 0)
        return;

    // 3. The output path and the progressive option; a grayed box keeps the last one.
    w.outputPath = w.Text1.text();
    if (w.Check1.value() == 0)
        w.progressiveText = booleanText(false);
    else if (w.Check1.value() == 1)
        w.progressiveText = booleanText(true);

    // 4. Convert by the source type.
    const QString& type = w.Text3.text();
    if (type == u"jpg" || type == u"gif") {
        p.pictures.saveBitmap(w.Image1.picture(), w.Text1.text());
        showOutput(w, p);
    } else if (type == u"bmp") {
        const QByteArray source = QFile::encodeName(w.Label1.caption());
        QByteArray destination = QFile::encodeName(w.outputPath);
        const std::uint8_t quality = toByte(w.qualityValue);
        const bool progressive = toBoolean(w.progressiveText);
        const std::int16_t result = p.encoder.SavetoJPEG(source, destination, quality, progressive);
        w.outputPath = QFile::decodeName(destination);
        // Nothing written must never show an older file there as the new result.
        if (result != 0)
            throw Failure(FailureKind::EncoderFailed, QString::number(result));
        w.Image1.setPicture(p.pictures.load(w.Label1.caption()));
        showOutput(w, p);
    } else {
        if (type == u"ico")
            p.messages.show(iconApology);
        // 6. Nothing converted: only the settings are saved.
        saveSettings(w, p.files);
        return;
    }

    // 5. Confirm; 6. save the settings once the user has closed the message.
    p.messages.show(completionMessage);
    saveSettings(w, p.files);
}

}  // namespace

void prepareAhead(const WindowModel& w, Platform& p, int restMs)
{
    // The same steps as a press takes (steps 1 to 3 and the bitmap branch), without
    // touching the window variables.
    try {
        if (w.Text3.text() != u"bmp")
            throw Failure(FailureKind::InvalidValue, QStringLiteral("a press would encode nothing"));
        const std::int16_t quality = toInt16(QStringView(w.Text2.text()));
        if (quality > 100 || quality < 0)
            throw Failure(FailureKind::InvalidValue, QStringLiteral("a press would encode nothing"));
        QString progressiveText = w.progressiveText;
        if (w.Check1.value() == 0)
            progressiveText = booleanText(false);
        else if (w.Check1.value() == 1)
            progressiveText = booleanText(true);
        p.encoder.prepare(QFile::encodeName(w.Label1.caption()), toByte(quality), toBoolean(progressiveText), restMs,
                          pixels(w.Image2.design().twips).size());
    } catch (const Failure&) {
        p.encoder.cancelPrepared();
    }
}

void Command1_Click(WindowModel& w, Platform& p)
{
    // On failure, go to the final step.
    try {
        convertAndSave(w, p);
    } catch (const Failure&) {
    }
    // 7. The output path retires the source type: a second press converts nothing.
    w.Text3.setText(w.outputPath);
}

}  // namespace pelk
