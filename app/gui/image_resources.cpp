#include "app/gui/image_resources.h"

namespace dezede::freebolt {

QPixmap ImagePixmap(const std::string& name) {
    if (name.empty()) return {};
    return QPixmap(QStringLiteral(":/freebolt/") + QString::fromStdString(name) + QStringLiteral(".png"));
}

}  // namespace dezede::freebolt
