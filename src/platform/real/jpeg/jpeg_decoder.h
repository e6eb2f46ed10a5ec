#pragma once

#include "platform/real/pictures/picture_reader.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QImageIOHandler>
#include <QSize>
#include <QString>

#include <atomic>
#include <memory>

namespace pelk {

struct BlockTarget;

// What a JPEG's header says, before any pixel is decoded.
struct JpegHeader {
    QSize size;             // as stored, before the EXIF turn; invalid when unreadable
    int bytesPerPixel = 4;  // of the decoded picture: 1 for gray, 4 for colour
    QImageIOHandler::Transformations turn = QImageIOHandler::TransformationNone;  // EXIF
    // Why the file is refused from its header alone, in libjpeg's own words.
    MaybeProblem problem;
};

// 1, 2, 4 or 8: how far a JPEG of `size` (as stored) is reduced in decoding for a `box`,
// the most that still covers the box; 1 for an invalid box.
int jpegReduction(QSize size, QSize box);

// Every JPEG this program shows or converts is decoded here, with libjpeg-turbo, straight
// into the picture's rows: Format_Grayscale8 for gray, Format_RGB32 for colour and CMYK.
// A warning from libjpeg refuses the file as damaged where libjpeg had to make pixels up
// (data cut short, unreadable codes): a picture made of guesses must not pass for the
// file's content. Warnings that leave every block decoded from the file pass
// (jpeg_acceptance.h).
class JpegDecoder {
public:
    // `bytes` must outlive the decoder. Reads the header at once.
    explicit JpegDecoder(QByteArrayView bytes);
    // A picture whose blocks are known already: `header` is a one-scan file's header up to
    // its scan (headerOfBlocks), and the blocks are taken instead of any data decoded.
    // Both must outlive the decoder.
    JpegDecoder(QByteArrayView header, const BlockTarget& blocks);
    ~JpegDecoder();
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    const JpegHeader& header() const { return header_; }

    // The picture as shown, turned as its EXIF orientation says. With a valid `box` (as
    // shown) it is decoded at 1/2, 1/4 or 1/8 of its size, the smallest that still covers
    // the box. Only once, and only when the header had no problem. A set `cancel` ends the
    // decode early (as ReadFailed).
    PictureRead decode(QSize box, const std::atomic<bool>* cancel = nullptr);

    // Whether decodeToBitmap24 takes this JPEG: colour, with no turn to make.
    bool decodesToBitmap24() const;
    // The whole picture as the bytes of the 24-bit bitmap file writeBitmap24 writes of it,
    // decoded straight into the file's rows. Instead of decode(), not besides it.
    PictureRead decodeToBitmap24(QByteArray* file, const std::atomic<bool>* cancel = nullptr);

private:
    void readHeaderOf(QImageIOHandler::Transformations turn);

    struct State;
    std::unique_ptr<State> state_;
    JpegHeader header_;
};

}  // namespace pelk
