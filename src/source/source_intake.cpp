#include "source/source_intake.h"

#include "platform/services.h"
#include "source/file_reasons.h"
#include "window/failure.h"
#include "window/log.h"
#include "window/window_model.h"

namespace pelk {
namespace {

// The mode table: what a drop of each recognised type turns the window into. A type that
// matches no row (upper case, "peg", "ico") leaves the output path and the mode alone.
struct SourceMode {
    QString type;
    QString outputExtension;
    QString caption;
    bool qualityShown;
};

const SourceMode sourceModes[] = {
    {QStringLiteral("bmp"), QStringLiteral(".jpg"), QStringLiteral("BMPからjpeg へ変換"), true},
    {QStringLiteral("jpg"), QStringLiteral(".bmp"), QStringLiteral("jpegから BMPへ変換"), false},
    {QStringLiteral("gif"), QStringLiteral(".bmp"), QStringLiteral("gifから BMPへ変換"), false},
};

// The row of a type, compared exactly and case-sensitively; null for none.
const SourceMode* modeOf(const QString& type)
{
    for (const SourceMode& mode : sourceModes)
        if (type == mode.type)
            return &mode;
    return nullptr;
}

void takeDroppedFiles(WindowModel& w, Platform& p, const DropData& data)
{
    if (data.hasFileList) {
        for (const QString& path : data.files) {
            w.sourcePathVar = path;
            w.Label1.setCaption(w.sourcePathVar);
        }
        // Opened by its decoded name, such a file would be missed, or another file would be
        // converted in its place and its output written under that other name.
        if (data.unreadableNames.contains(w.Label1.caption()))
            throw Failure(FailureKind::UnreadableName, w.Label1.caption());
    }
    go(w, p);
}

void setQualityGroupVisible(WindowModel& w, bool visible)
{
    w.HScroll1.setVisible(visible);
    w.Label2.setVisible(visible);
    w.Text2.setVisible(visible);
    w.Label8.setVisible(visible);
}

}  // namespace

void Form_OLEDragDrop(WindowModel& w, Platform& p, const DropData& data) { takeDroppedFiles(w, p, data); }
void Image1_OLEDragDrop(WindowModel& w, Platform& p, const DropData& data) { takeDroppedFiles(w, p, data); }
void Image2_OLEDragDrop(WindowModel& w, Platform& p, const DropData& data) { takeDroppedFiles(w, p, data); }

void go(WindowModel& w, Platform& p)
{
    // The output path is exactly as long as the source path. One longer than Text1 holds
    // would be cut to the name of some other file, which the next press would overwrite:
    // such a drop is refused before it changes anything.
    const QString& path = w.Label1.caption();
    if (modeOf(path.right(3)) && w.Text1.maxLength() > 0 && path.size() > w.Text1.maxLength())
        throw Failure(FailureKind::PathTooLong, path);

    w.Image1.setPicture(p.pictures.loadShownFirst(w.Label1.caption(), pixels(w.Image1.design().twips).size()));
    w.Label6.setCaption(QString::number(p.files.length(w.Label1.caption())) + QStringLiteral("Bytes"));
    w.sourcePathVar = w.Label1.caption();
    w.Text3.setText(w.sourcePathVar.right(3));
    w.sourceType = w.Text3.text();
    if (const SourceMode* mode = modeOf(w.sourceType)) {
        rename(w);
        w.Text1.setText(w.Text5.text() + mode->outputExtension);
        w.Command1.setCaption(mode->caption);
        setQualityGroupVisible(w, mode->qualityShown);
    }
}

void rename(WindowModel& w)
{
    // A caption is far shorter than 2^31 units, so the 32-bit subtraction cannot overflow.
    w.Text4.setText(QString::number(qint32(w.Label1.caption().size()) - 4));
    w.Text5.setMaxLength(w.Text4.text().toInt());
    w.Text5.setText(w.Label1.caption());
}

void refuseDrop(WindowModel& w, Platform& p, const Failure& failure)
{
    qCDebug(pelkLog).noquote().nospace() << "drop refused: " << w.Label1.caption() << ": " << failure.detail();
    // The caption already names the refused file while the picture, the output path and
    // the mode may still be the earlier file's: a press would have written the one under
    // the other's name. An empty type matches no conversion, as after a press.
    w.Text3.setText(QString());
    p.messages.show(
        QStringLiteral("次のファイルを表示できません。\n%1\n\n%2").arg(w.Label1.caption(), shownReason(failure.kind())),
        WindowModel::caption);
}

}  // namespace pelk
