#include "engine/table_password.h"

#include <nettle/md5.h>

namespace dezede {

void TTablePassword::Assign(const std::string& text) {
    Text_ = text;
    md5_ctx ctx;
    md5_init(&ctx);
    md5_update(&ctx, text.size(), reinterpret_cast<const uint8_t*>(text.data()));
    md5_digest(&ctx, Digest_.size(), Digest_.data());
}

}  // namespace dezede
