#include "engine/table_password.h"

namespace dezede {

void TTablePassword::Assign(const std::string& text) {
    Text_ = text;
    Digest_ = MD5Digest(text);
}

}  // namespace dezede
