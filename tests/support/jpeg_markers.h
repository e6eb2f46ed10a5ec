#pragma once

#include <QByteArray>
#include <QList>
#include <array>
#include <map>

// The structure of a JPEG file, read from its markers: what a decoder would not tell.
namespace pelk::test {

struct JpegComponent {
    int id = 0;
    int horizontal = 0;  // sampling factors
    int vertical = 0;
    int table = 0;  // quantisation table number
};

struct JpegQuantTable {
    int precision = 0;              // 0: 8-bit entries, 1: 16-bit
    std::array<int, 64> natural{};  // in natural (row-major) order
};

struct JpegStructure {
    bool valid = false;                         // SOI, well-formed segments, EOI
    QList<int> frameMarkers;                    // the SOFn codes seen, e.g. 0xC0, 0xC2
    std::map<int, JpegQuantTable> quantTables;  // by table number
    QList<JpegComponent> components;
    int width = 0;
    int height = 0;
    int scans = 0;
    int huffmanTables = 0;
};

JpegStructure parseJpeg(const QByteArray& bytes);

// Where each of the 64 zigzag positions lies in natural order.
extern const std::array<int, 64> zigzagToNatural;

}  // namespace pelk::test
