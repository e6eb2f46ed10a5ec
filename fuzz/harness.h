#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

// What the fuzz targets share: a private scratch folder, quiet Qt, and a loud stop when an
// invariant breaks (libFuzzer then keeps the input that broke it).
namespace pelk::fuzz {

// A folder of this process's own (in /dev/shm when it can), made on first use and removed
// when the process exits.
const QString& scratchDir();

// Qt warns about every broken picture; at thousands of inputs a second that is only noise.
// Fatal messages still abort; PELK_FUZZ_VERBOSE=1 in the environment keeps them all.
void silenceQt();

// Reports the broken invariant and aborts.
[[noreturn]] void broken(const char* what, const QString& detail = {});

inline QByteArray bytes(const std::uint8_t* data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// Writes the bytes to the path, replacing the file; aborts when it cannot (the scratch
// folder is ours, so that is a broken harness, not a finding).
void writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);

}  // namespace pelk::fuzz
