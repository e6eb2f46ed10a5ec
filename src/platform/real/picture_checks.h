#pragma once

#include <QByteArrayView>
#include <QSize>
#include <QString>
#include <QtGlobal>

// What a file's own bytes say before any decoder sees them. Qt's readers report success
// on cut-short files and leave what they did not read undefined; they also follow a
// hostile file's word on how much to allocate and how many passes to make. These checks
// walk the file's structure (no pixel is decoded) and tell what a decoder would need.
// (A bitmap's are in bmp/bmp_checks.h, a JPEG's in jpeg/jpeg_checks.h.)
namespace pelk {

enum class FileProblem {
    None,
    Damaged,  // cut short, or its structure contradicts itself
    Hostile,  // well-formed but built to exhaust the decoder (e.g. thousands of scans)
};

struct FileCheck {
    FileProblem problem = FileProblem::None;
    QString reason;           // for the log, when problem is not None
    QSize declared;           // the largest area the decoder will allocate, when known
    qint64 decoderBytes = 0;  // memory the decoder needs besides the picture itself
};

// A GIF: the blocks up to the end of the first picture's data (the only frame shown), and
// that those data decode to every pixel of it with codes the table holds.
FileCheck checkGif(QByteArrayView bytes);

}  // namespace pelk
