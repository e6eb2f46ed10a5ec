#pragma once

#include "platform/services.h"

namespace pelk {

class RealFileService : public FileService {
public:
    qint64 length(const QString& path) override;
    void replace(const QString& path, const QByteArray& bytes) override;
    QByteArray readStart(const QString& path, qsizetype limit) override;
};

}  // namespace pelk
