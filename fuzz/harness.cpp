#include "harness.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

namespace pelk::fuzz {
namespace {

void removeScratch() { QDir(scratchDir()).removeRecursively(); }

void dropMessage(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "qFatal: %s\n", qPrintable(text));
        std::abort();
    }
}

}  // namespace

const QString& scratchDir()
{
    static const QString dir = [] {
        // In memory where there is a tmpfs: the saves sync their files to disk, and on a
        // disk that costs more than everything else an input does.
        const QString base =
            QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        QByteArray pattern = base.toLocal8Bit() + "/pelk-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data()))
            broken("cannot make a scratch folder");
        return QString::fromLocal8Bit(pattern);
    }();
    static const bool cleaned = [] { return std::atexit(removeScratch) == 0; }();
    (void)cleaned;
    return dir;
}

void silenceQt()
{
    if (qEnvironmentVariableIsEmpty("PELK_FUZZ_VERBOSE"))
        qInstallMessageHandler(dropMessage);
}

void broken(const char* what, const QString& detail)
{
    std::fprintf(stderr, "BROKEN INVARIANT: %s%s%s\n", what, detail.isEmpty() ? "" : ": ", qPrintable(detail));
    std::abort();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        broken("cannot write a scratch file", path);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

}  // namespace pelk::fuzz
