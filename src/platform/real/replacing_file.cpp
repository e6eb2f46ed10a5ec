#include "platform/real/replacing_file.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace pelk {
namespace {

QString shortUniqueName()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString name = QStringLiteral(".pelk17-");
    for (int i = 0; i < 8; ++i)
        name += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))]);
    return name + QStringLiteral(".tmp");
}

}  // namespace

ReplacingFile::ReplacingFile(const QString& target) : target_(target)
{
    // Writing through a link replaces the file it points to, not the link.
    const QFileInfo info(target);
    if (info.isSymLink())
        target_ = info.symLinkTarget();
}

ReplacingFile::~ReplacingFile()
{
    if (!committed_)
        discard();
}

bool ReplacingFile::open()
{
    const QDir folder = QFileInfo(target_).absoluteDir();
    for (int attempt = 0; attempt < 16; ++attempt) {
        temporary_.setFileName(folder.filePath(shortUniqueName()));
        // NewOnly never opens a file someone else made; its mode follows the umask.
        if (temporary_.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return true;
        if (!temporary_.exists())
            break;  // not a clash of names: the folder cannot be written
    }
    error_ = temporary_.errorString();
    temporary_.setFileName(QString());
    return false;
}

bool ReplacingFile::commit()
{
    if (!temporary_.isOpen())
        return false;
    if (!temporary_.flush()) {
        error_ = temporary_.errorString();
        discard();
        return false;
    }
    const QFileInfo old(target_);
    if (old.exists() && !old.isDir())
        temporary_.setPermissions(old.permissions());
    temporary_.close();
    if (temporary_.error() != QFileDevice::NoError) {
        error_ = temporary_.errorString();
        discard();
        return false;
    }
    // rename() replaces the target in one step: it is either the old file or the new one.
    if (std::rename(QFile::encodeName(temporary_.fileName()).constData(),
                    QFile::encodeName(target_).constData())
        != 0) {
        error_ = QString::fromLocal8Bit(std::strerror(errno));
        discard();
        return false;
    }
    committed_ = true;
    return true;
}

void ReplacingFile::discard()
{
    if (temporary_.fileName().isEmpty())
        return;
    temporary_.close();
    temporary_.remove();
    temporary_.setFileName(QString());
}

}  // namespace pelk
