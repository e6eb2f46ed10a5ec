#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <vector>

// A corpus of picture files, valid and hostile, made here from scratch and fixed by a
// seed: every common kind of bitmap, JPEG, GIF and icon, and files cut short, lying about
// their size, built to exhaust a decoder or named for another kind than they hold.
// Used by the corpus test and as seeds for fuzzing.
namespace pelk::test {

enum class CorpusExpect {
    Converts,  // the drop shows it, the press converts it (the output decodes at `shown`)
    Refused,   // the drop reports it as a failed drop; nothing is converted
    Apology,   // an icon: shown, and the press answers with the apology
};

struct CorpusFile {
    QString name;  // file name; its last three characters choose the conversion
    QByteArray bytes;
    CorpusExpect expect;
    QSize shown;  // the picture's size as shown, for Converts
};

std::vector<CorpusFile> hostileCorpus();

// A JPEG made through libjpeg-turbo directly, for what Qt's writer cannot make.
struct JpegOptions {
    int quality = 85;
    bool progressive = false;
    bool fullChroma = false;  // 4:4:4 instead of 4:2:0
    bool gray = false;
    bool cmyk = false;       // Adobe CMYK, as print workflows write it
    int restartRows = 0;     // a restart marker every so many MCU rows
    bool plainCmyk = false;  // CMYK stored as it is, not turned into YCCK
};
QByteArray makeJpeg(const QImage& picture, const JpegOptions& options = {});

// The JPEG with an Exif block giving its orientation (1..8), in either TIFF byte order.
QByteArray withExifOrientation(const QByteArray& jpeg, int orientation, bool bigEndian = false);

// What libjpeg warns of: in the coded data of a JPEG's longest scan, or its header. The
// first two are stray bytes it steps over, the picture whole; the others are damage.
enum class JpegDamage {
    HeaderBytes,      // bytes before the frame header, which libjpeg meets reading the header
    ExtraneousBytes,  // bytes before the marker that ends the scan
    BadHuffmanCode,   // a run of ones, which no Huffman table holds
    CutShort,         // the file ends in the middle of the scan
    CutShortEnded,    // the same, with an end marker put back after the cut
};
QByteArray damagedJpeg(const QByteArray& jpeg, JpegDamage damage);

}  // namespace pelk::test
