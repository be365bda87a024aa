#pragma once
// A password for encrypted tables, kept by a session together with its MD5
// digest: a table accepts the password whose digest equals the one stored in
// its header.

#include <string>

#include "support/md5.h"

namespace dezede {

using TPasswordDigest = TMD5Digest;

class TTablePassword {
public:
    explicit TTablePassword(const std::string& text) { Assign(text); }

    // Reuses the object for another text (the session's pool of released passwords).
    void Assign(const std::string& text);

    const std::string& Text() const { return Text_; }
    const TPasswordDigest& Digest() const { return Digest_; }

private:
    std::string Text_;
    TPasswordDigest Digest_{};
};

}  // namespace dezede
