#pragma once

#include "platform/real/problem.h"

#include <QByteArrayView>
#include <QRect>
#include <QSize>
#include <QString>
#include <QtEndian>
#include <QtGlobal>

// What a file's own bytes say before any decoder sees them. Qt's readers report success
// on cut-short files and leave what they did not read undefined; they also follow a
// hostile file's word on how much to allocate and how many passes to make. These checks
// walk the file's structure (no pixel is decoded) and tell what a decoder would need.
// (A bitmap's are in bmp/bmp_checks.h, a JPEG's in jpeg/jpeg_checks.h.)
namespace pelk {

// What the structure says a decoder will need, or why the file is refused before any
// decoder sees it: NotAPicture for a file cut short or whose structure contradicts itself
// ("damaged") and for one well-formed but built to exhaust the decoder, e.g. thousands of
// scans ("hostile").
struct FileCheck {
    MaybeProblem problem;
    QSize declared;           // the largest area the decoder will allocate, when known
    qint64 decoderBytes = 0;  // memory the decoder needs besides the picture itself
};

// A refusal for damage, with its reason for the log.
inline FileCheck damaged(const QString& reason)
{
    return {Problem{FailureKind::NotAPicture, QStringLiteral("damaged: ") + reason}, {}, 0};
}
inline FileCheck damaged(const char* reason) { return damaged(QString::fromLatin1(reason)); }

// Reads a file's fields without ever running past its end: a field that is not there
// reads as zero, and `has` tells whether it is.
class BoundedBytes {
public:
    explicit BoundedBytes(QByteArrayView bytes)
        : data_(reinterpret_cast<const uchar*>(bytes.data())), size_(bytes.size())
    {
    }
    qsizetype size() const { return size_; }
    bool has(qsizetype pos, qsizetype count) const { return pos >= 0 && count >= 0 && pos <= size_ - count; }
    uchar u8(qsizetype pos) const { return has(pos, 1) ? data_[pos] : 0; }
    quint16 le16(qsizetype pos) const { return has(pos, 2) ? qFromLittleEndian<quint16>(data_ + pos) : 0; }
    quint32 le32(qsizetype pos) const { return has(pos, 4) ? qFromLittleEndian<quint32>(data_ + pos) : 0; }
    quint16 be16(qsizetype pos) const { return has(pos, 2) ? qFromBigEndian<quint16>(data_ + pos) : 0; }

private:
    const uchar* data_;
    qsizetype size_;
};

// Where a GIF's first picture lies on its logical screen, and how its rows are stored.
struct GifFrame {
    QRect area;
    QSize screen;
    bool interlaced = false;
    qsizetype flagsAt = -1;  // the offset of the picture header's flags byte
};

// A GIF: the blocks up to the end of the first picture's data (the only frame shown), and
// that those data decode to every pixel of it with codes the table holds. `frame`, when
// given, is filled in once the check passes.
FileCheck checkGif(QByteArrayView bytes, GifFrame* frame = nullptr);

}  // namespace pelk
