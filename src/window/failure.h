#pragma once

#include <QString>
#include <stdexcept>

namespace pelk {

// What went wrong. The window runtime raises InvalidValue, Overflow and TypeMismatch;
// the platform services raise the rest.
enum class FailureKind {
    InvalidValue,  // a control refused a property value
    Overflow,      // a number does not fit the integer type it is converted to
    TypeMismatch,  // a text is not a number or Boolean
    FileNotFound,
    NotAPicture,  // no picture service can read the file
    TooLarge,     // the picture declares more pixels than the program will hold
    PathTooLong,  // the output path would not fit the box that holds it
    ReadFailed,
    WriteFailed,    // a file could not be written, for a reason of its own (an I/O error)
    EncoderFailed,  // the JPEG encoder wrote nothing
    NoPermission,   // the user may not write the file or its folder
    DiskFull,
    ForeignFile,     // another user's file, or a link another user made in a shared folder
    NotAFile,        // a folder, FIFO, socket or device where a regular file was expected
    UnreadableName,  // a dropped file's name has bytes that are no text in the system's encoding
};

// The one failure type of the program. Each handler decides by its own rule what a
// failure does: go to its final step, continue with the next statement, or stop.
class Failure : public std::runtime_error {
public:
    Failure(FailureKind kind, const QString& detail = {})
        : std::runtime_error(detail.toStdString()), kind_(kind), detail_(detail)
    {
    }

    FailureKind kind() const { return kind_; }
    const QString& detail() const { return detail_; }

private:
    FailureKind kind_;
    QString detail_;
};

}  // namespace pelk
