#pragma once

#include <QFont>
#include <QStringList>

namespace pelk {

// Installed Japanese Gothic faces, best first (proportional IPA Gothic leads).
QStringList japaneseGothicFaces();

// Makes the window's fonts carry Japanese glyphs: the design face "ＭＳ Ｐゴシック" is
// substituted by an installed Japanese Gothic face, and the application font falls back
// to one for every glyph its own family lacks. Safe to call more than once.
void installJapaneseFonts();

// The font of the five controls that name the design face.
QFont designFont();

}  // namespace pelk
