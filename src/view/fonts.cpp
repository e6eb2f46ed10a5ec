#include "view/fonts.h"

#include "window/window_model.h"

#include <QApplication>
#include <QFontDatabase>

namespace pelk {

QStringList japaneseGothicFaces()
{
    // Proportional faces first: the design face is a proportional Gothic.
    static const QStringList preferred = {
        QStringLiteral("IPAPGothic"),   QStringLiteral("IPA Pゴシック"),    QStringLiteral("VL PGothic"),
        QStringLiteral("TakaoPGothic"), QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Source Han Sans JP"),
        QStringLiteral("IPAGothic"),    QStringLiteral("IPAexGothic"),
    };
    const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
    QStringList faces;
    for (const QString& face : preferred)
        if (japanese.contains(face, Qt::CaseInsensitive))
            faces << face;
    return faces;
}

void installJapaneseFonts()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;

    const QStringList faces = japaneseGothicFaces();
    if (!faces.isEmpty())
        QFont::insertSubstitutions(designFontFamily, faces);

    // Latin text keeps the desktop's own face; Japanese glyphs come from the first
    // Japanese Gothic face instead of whatever fontconfig happens to pick.
    QFont font = QApplication::font();
    const QString family = font.family();
    if (!faces.isEmpty() && !QFontDatabase::writingSystems(family).contains(QFontDatabase::Japanese)) {
        font.setFamilies({family, faces.first()});
        QApplication::setFont(font);
    }
}

QFont designFont()
{
    QFont font(designFontFamily);
    font.setPointSizeF(designFontPoints);
    font.setWeight(QFont::Normal);
    font.setStyleHint(QFont::SansSerif);
    // The design face draws all that these controls show (fixed captions, sizes, digits):
    // no fallback fonts are looked up for it, each of which costs a font sort at start-up.
    font.setStyleStrategy(QFont::NoFontMerging);
    return font;
}

}  // namespace pelk
