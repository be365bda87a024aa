#pragma once
// The program's images, compiled in as Qt resources (gui/images/*.png).

#include <QPixmap>
#include <string>

namespace dezede::freebolt {

// The image named `name` (arrow, clear_locks, cancel, freebolt); null when there is none.
QPixmap ImagePixmap(const std::string& name);

}  // namespace dezede::freebolt
