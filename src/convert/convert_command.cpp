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

// Why an output could not be written, as the user is told it.
QString writeReason(FailureKind kind)
{
    switch (kind) {
    case FailureKind::NoPermission:
        return QStringLiteral("書き込む権限がありません。");
    case FailureKind::DiskFull:
        return QStringLiteral("ディスクの空き容量が足りません。");
    case FailureKind::ForeignFile:
        return QStringLiteral("ほかのユーザーのファイルです。");
    case FailureKind::NotAFile:
        return QStringLiteral("通常のファイルではありません。");
    case FailureKind::EncoderFailed:
        return QStringLiteral("JPEG に変換できませんでした。");
    default:
        return QStringLiteral("ファイルを保存できませんでした。");
    }
}

// Steps 1 to 6 of a press; any failure leaves them at once. `writing` names the output
// while it is being written, so that the press can tell the user which file it could not
// write.
void convertAndSave(WindowModel& w, Platform& p, QString& writing)
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
        writing = w.Text1.text();
        p.pictures.saveBitmap(w.Image1.picture(), w.Text1.text());
        writing.clear();
        showOutput(w, p);
    } else if (type == u"bmp") {
        const QByteArray source = QFile::encodeName(w.Label1.caption());
        QByteArray destination = QFile::encodeName(w.outputPath);
        const std::uint8_t quality = toByte(w.qualityValue);
        const bool progressive = toBoolean(w.progressiveText);
        writing = w.outputPath;
        const std::int16_t result = p.encoder.SavetoJPEG(source, destination, quality, progressive);
        w.outputPath = QFile::decodeName(destination);
        // Nothing written must never show an older file there as the new result.
        if (result != encoderResult::written)
            throw Failure(encoderResult::toFailure(result), QString::number(result));
        writing.clear();
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
    // On failure, go to the final step. A result that was not written is lost unless the
    // user hears of it (a second press converts nothing): that failure is told first.
    QString writing;
    try {
        convertAndSave(w, p, writing);
    } catch (const Failure& failure) {
        if (!writing.isEmpty())
            p.messages.show(
                QStringLiteral("次のファイルを保存できません。\n%1\n\n%2").arg(writing, writeReason(failure.kind())),
                WindowModel::caption);
    }
    // 7. The output path retires the source type: a second press converts nothing.
    w.Text3.setText(w.outputPath);
}

}  // namespace pelk
