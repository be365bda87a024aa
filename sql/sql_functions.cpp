#include "sql/sql_functions.h"

namespace dezede {

int TSqlFunctions::Find(std::string_view name) const {
    auto up = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
    for (size_t i = 0; i < Items_.size(); ++i) {
        const std::string& n = Items_[i].Name;
        if (n.size() != name.size()) continue;
        bool same = true;
        for (size_t k = 0; k < n.size() && same; ++k) same = up(n[k]) == up(name[k]);
        if (same) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace dezede
