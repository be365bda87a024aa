// Fuzz target: the SQL scanner and expression parser on arbitrary text, and
// the verifier and evaluator on whatever parses. Only engine errors may
// come out; anything else (crash, other exception, runaway recursion) is a find.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/engine_error.h"
#include "sql/expression_evaluator.h"
#include "sql/expression_parser.h"
#include "sql/expression_verifier.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace dezede;
    if (size == 0) return 0;
    const uint32_t flags = data[0] & 0x3F;
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    std::vector<TExpToken*> parameters;
    TExpressionParser parser;
    parser.Parameters = &parameters;
    try {
        auto root = parser.ParseWhole(text, flags);
        TExpressionVerifier verifier;
        verifier.Verify(*root, (data[0] & 0x40) != 0, (data[0] & 0x80) != 0);
        TExpressionEvaluator evaluator;
        evaluator.Evaluate(*root);
        auto copy = root->Copy();
    } catch (const EDEZEDEEngineError&) {
    }
    return 0;
}
