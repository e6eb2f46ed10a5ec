#pragma once

#include "platform/services.h"

namespace pelk {

class RealFileService : public FileService {
public:
    qint64 length(const QString& path) override;
};

}  // namespace pelk
