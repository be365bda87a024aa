// dezede eval 'EXPRESSION': parses, verifies and evaluates one expression
// (select-list context, no columns) and prints {"type": NAME, "value": V}.

#include <iostream>
#include <nlohmann/json.hpp>

#include "sql/exp_token.h"
#include "sql/expression_evaluator.h"
#include "sql/expression_parser.h"
#include "sql/expression_verifier.h"
#include "sql/value_conversion.h"
#include "support/locales.h"
#include "tools/dezede/command.h"

namespace dezede::tool {
namespace {

std::string Hex(const std::vector<uint8_t>& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t b : bytes) {
        s.push_back(kDigits[b >> 4]);
        s.push_back(kDigits[b & 15]);
    }
    return s;
}

nlohmann::json ValueJson(const TExpToken& n) {
    if (n.IsNull || n.DataType == ftdNone) return nullptr;
    switch (n.DataType) {
        case ftdString: return LocaleToUtf8(kAnsiStandardLocale, n.StringView());
        case ftdBlob:
            if (n.SubType == fsdMemo) return LocaleToUtf8(kAnsiStandardLocale, n.StringView());
            return Hex(n.Value);
        case ftdBytes:
        case ftdVarBytes: return Hex(n.Value);
        case ftdBoolean: return n.Get<int16_t>() != 0;
        case ftdSmallInt:
        case ftdInteger:
        case ftdWord:
        case ftdLargeInt: return n.AsInt64();
        case ftdFloat: return n.Get<double>();
        case ftdBCD: return FormatCurrency(n.AsCurrency(), n.Scale);
        case ftdDate: return FormatDate(n.Get<int32_t>());
        case ftdTime: return FormatTime(n.Get<int32_t>());
        case ftdTimestamp: return FormatTimestamp(n.Get<double>());
        default: return nullptr;
    }
}

int Run(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::cerr << "usage: dezede eval 'EXPRESSION'\n";
        return kExitUsage;
    }
    TExpressionParser parser;
    auto root = parser.ParseWhole(args[0], kSelectColumnFlags);
    TExpressionVerifier verifier;
    verifier.ErrorContext = parser.ErrorContext;
    verifier.Verify(*root, false, true);
    TExpressionEvaluator evaluator;
    evaluator.Evaluate(*root);
    nlohmann::json out = {{"type", TypeName(root->DataType, root->SubType)}, {"value", ValueJson(*root)}};
    std::cout << out.dump() << "\n";
    return kExitOk;
}

TCommandRegistration reg{{
    "eval",
    "'EXPRESSION'",
    "Evaluate one SQL expression and print its type and value",
    "Parses the text as one expression of a select list without columns, types\n"
    "and evaluates it, and prints one JSON object {\"type\": NAME, \"value\": V}.\n"
    "NAME is the type's name (\"String\", \"Integer\", \"Float\", \"Date\", ...; \"NULL\"\n"
    "for an untyped NULL). Values are written as `dezede dump` writes them: text\n"
    "as UTF-8, numbers as numbers, dates \"yyyy-mm-dd\", times \"hh:mm:ss.zzz\",\n"
    "BCD as a decimal string with its scale, NULL as null. A parse or type error\n"
    "prints the engine error with its line and column and exits with status 1.\n",
    Run,
}};

}  // namespace
}  // namespace dezede::tool
