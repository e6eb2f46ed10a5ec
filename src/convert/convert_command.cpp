#include "convert/convert_command.h"

#include "convert/press_arguments.h"
#include "platform/services.h"
#include "settings/settings_file.h"
#include "source/file_reasons.h"
#include "window/failure.h"
#include "window/log.h"
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

// The JPEG-to-bitmap and GIF-to-bitmap branch: the source picture as it is shown.
void saveAsBitmap(WindowModel& w, Platform& p, QString& writing)
{
    writing = w.Text1.text();
    p.pictures.saveBitmap(w.Image1.picture(), w.Text1.text());
    writing.clear();
    showOutput(w, p);
}

// The bitmap-to-JPEG branch: the encoder's destination buffer comes back as the output
// path, and the source preview is refreshed from disk.
void encodeJpeg(WindowModel& w, Platform& p, QString& writing)
{
    const EncodeArguments encode = encodeArguments(w.Label1.caption(), w.qualityValue, w.progressiveText);
    QByteArray destination = QFile::encodeName(w.outputPath);
    writing = w.outputPath;
    const std::int16_t result = p.encoder.SavetoJPEG(encode.source, destination, encode.quality, encode.progressive);
    w.outputPath = QFile::decodeName(destination);
    // Nothing written must never show an older file there as the new result.
    if (result != encoderResult::written)
        throw Failure(encoderResult::toFailure(result), QString::number(result));
    writing.clear();
    w.Image1.setPicture(p.pictures.load(w.Label1.caption()));
    showOutput(w, p);
}

// Steps 1 to 6 of a press; any failure leaves them at once. `writing` names the output
// while it is being written, so that the press can tell the user which file it could not
// write.
void convertAndSave(WindowModel& w, Platform& p, QString& writing)
{
    // 1. The quality; 2. out of range converts nothing.
    const PressArguments press = readPressArguments(w);
    w.qualityValue = press.quality;
    if (!press.converts)
        return;

    // 3. The output path and the progressive option.
    w.outputPath = press.outputPath;
    w.progressiveText = press.progressiveText;

    // 4. Convert by the source type.
    const Conversion conversion = conversionOf(w.Text3.text());
    if (conversion == Conversion::ToBitmap)
        saveAsBitmap(w, p, writing);
    else if (conversion == Conversion::ToJpeg)
        encodeJpeg(w, p, writing);
    else if (conversion == Conversion::Apology)
        p.messages.show(iconApology);

    // 5. Confirm a conversion; 6. save the settings once the user has closed the message
    //    (nothing converted: only the settings are saved).
    if (conversion == Conversion::ToBitmap || conversion == Conversion::ToJpeg)
        p.messages.show(completionMessage);
    saveSettings(w, p.files);
}

}  // namespace

void prepareAhead(const WindowModel& w, Platform& p, int restMs)
{
    // What a press would encode at this moment, read as the press reads it, without
    // touching the window variables.
    try {
        if (conversionOf(w.Text3.text()) == Conversion::ToJpeg) {
            const PressArguments press = readPressArguments(w);
            if (press.converts) {
                const EncodeArguments encode =
                    encodeArguments(w.Label1.caption(), press.quality, press.progressiveText);
                p.encoder.prepare(encode.source, encode.quality, encode.progressive, restMs,
                                  pixels(w.Image2.design().twips).size());
                return;
            }
        }
    } catch (const Failure& failure) {
        qCDebug(pelkLog).noquote() << "nothing to encode ahead:" << failure.detail();
    }
    p.encoder.cancelPrepared();
}

void Command1_Click(WindowModel& w, Platform& p)
{
    // On failure, go to the final step. A result that was not written is lost unless the
    // user hears of it (a second press converts nothing): that failure is told first.
    QString writing;
    try {
        convertAndSave(w, p, writing);
    } catch (const Failure& failure) {
        qCDebug(pelkLog).noquote() << "press failed:" << failure.detail();
        if (!writing.isEmpty())
            p.messages.show(
                QStringLiteral("次のファイルを保存できません。\n%1\n\n%2").arg(writing, writtenReason(failure.kind())),
                WindowModel::caption);
    }
    // 7. The output path retires the source type: a second press converts nothing.
    w.Text3.setText(w.outputPath);
}

}  // namespace pelk
