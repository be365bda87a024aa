#include "sql/expression_parser.h"

#include <charconv>
#include <cstdlib>

#include "sql/sql_functions.h"
#include "support/ansi_strings.h"

namespace dezede {

namespace {

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

// How the arguments of a built-in function are written.
enum TSyntax : uint8_t {
    synOne,          // name ( x )
    synForCount,     // name ( s FOR|, n )
    synConcat,       // CONCAT ( a WITH|, b )
    synSubstring,    // SUBSTRING ( s FROM|, start [FOR|, n] )
    synReplace,      // REPLACE ( f WITH|, r IN|, s )
    synInString,     // name ( f IN|, s )
    synTrim,         // TRIM ( LEADING|TRAILING|BOTH c FROM|, s )
    synExtract,      // EXTRACT ( part FROM|, x )
    synCast,         // CAST ( x AS|, type )
    synRound,        // name ( x [TO|, places] )
    synPair,         // name ( a , b )
    synPower,        // POWER ( a TO|, b )
    synNoArgs,       // name [ ( ) ]
    synRand,         // RAND [ ( [[RANGE] n] ) ]
    synIf,           // IF ( c THEN|, a ELSE|, b )
    synIfNull,       // IFNULL ( x THEN|, a ELSE|, b )
    synNullIf,       // NULLIF ( a , b )
    synCoalesce,     // COALESCE ( a {, b} )
    synCase,         // CASE ...
    synTextSearch,   // name ( words IN|, column )
    synTable,        // name ( table )
};

struct TFunctionName {
    const char* Name;
    uint8_t Code;
    TSyntax Syntax;
};

constexpr TFunctionName kFunctions[] = {
    {"UPPER", ecUpper, synOne}, {"UCASE", ecUpper, synOne}, {"LOWER", ecLower, synOne},
    {"LCASE", ecLower, synOne}, {"LENGTH", ecLength, synOne}, {"ALLTRIM", ecAllTrim, synOne},
    {"LTRIM", ecLTrim, synOne}, {"RTRIM", ecRTrim, synOne}, {"ABS", ecAbs, synOne},
    {"ACOS", ecACos, synOne}, {"ASIN", ecASin, synOne}, {"ATAN", ecATan, synOne},
    {"CEILING", ecCeiling, synOne}, {"CEIL", ecCeiling, synOne}, {"COS", ecCos, synOne},
    {"COT", ecCot, synOne}, {"DEGREES", ecDegrees, synOne}, {"EXP", ecExp, synOne},
    {"FLOOR", ecFloor, synOne}, {"LOG", ecLog, synOne}, {"LOG10", ecLog10, synOne},
    {"RADIANS", ecRadians, synOne}, {"SIGN", ecSign, synOne}, {"SIN", ecSin, synOne},
    {"SQRT", ecSqrt, synOne}, {"TAN", ecTan, synOne},
    {"YEARSFROMMSECS", ecYearsFromMSecs, synOne}, {"DAYSFROMMSECS", ecDaysFromMSecs, synOne},
    {"HOURSFROMMSECS", ecHoursFromMSecs, synOne}, {"MINSFROMMSECS", ecMinsFromMSecs, synOne},
    {"SECSFROMMSECS", ecSecsFromMSecs, synOne}, {"MSECSFROMMSECS", ecMSecsFromMSecs, synOne},
    {"LEFT", ecLeft, synForCount}, {"RIGHT", ecRight, synForCount}, {"REPEAT", ecRepeat, synForCount},
    {"CONCAT", ecConcat, synConcat}, {"SUBSTRING", ecSubstring, synSubstring},
    {"REPLACE", ecReplace, synReplace}, {"POS", ecPosition, synInString},
    {"POSITION", ecPosition, synInString}, {"OCCURS", ecOccurs, synInString},
    {"TRIM", ecAllTrim, synTrim}, {"EXTRACT", ecExtractYear, synExtract}, {"CAST", ecCast, synCast},
    {"ROUND", ecRound, synRound}, {"TRUNCATE", ecTruncate, synRound}, {"TRUNC", ecTruncate, synRound},
    {"MOD", ecMod, synPair}, {"ATAN2", ecATan2, synPair}, {"POWER", ecPower, synPower},
    {"PI", ecPi, synNoArgs}, {"RAND", ecRand, synRand}, {"IF", ecIf, synIf},
    {"IFNULL", ecIfNull, synIfNull}, {"NULLIF", ecNullIf, synNullIf},
    {"COALESCE", ecCoalesce, synCoalesce}, {"CASE", ecCase, synCase},
    {"TEXTSEARCH", ecTextSearch, synTextSearch}, {"TEXTOCCURS", ecTextOccurs, synTextSearch},
    {"LASTAUTOINC", ecLastAutoInc, synTable}, {"IDENT_CURRENT", ecIdentCurrent, synTable},
    {"CURRENT_DATE", ecCurrentDate, synNoArgs}, {"CURRENT_TIME", ecCurrentTime, synNoArgs},
    {"CURRENT_TIMESTAMP", ecCurrentTimestamp, synNoArgs}, {"CURRENT_GUID", ecCurrentGuid, synNoArgs},
};

struct TAggregateName {
    const char* Name;
    uint8_t Code;
};

constexpr TAggregateName kAggregates[] = {
    {"SUM", ecSum}, {"RUNSUM", ecRunSum}, {"AVG", ecAvg}, {"STDDEV", ecStdDev},
    {"MIN", ecMin}, {"MAX", ecMax},       {"COUNT", ecCount}, {"LIST", ecList},
};

constexpr const char* kExtractParts[] = {"YEAR", "MONTH", "WEEK", "DAY", "DAYOFWEEK",
                                         "DAYOFYEAR", "HOUR", "MINUTE", "SECOND", "MSECOND"};

const TFunctionName* FindFunction(std::string_view name) {
    for (const auto& f : kFunctions)
        if (SameName(f.Name, name)) return &f;
    return nullptr;
}

}  // namespace

TExpressionParser::TNestGuard::TNestGuard(TExpressionParser& p) : P(p) {
    if (++P.Nesting_ > kMaxExpressionNesting) {
        --P.Nesting_;
        P.RaiseTooDeep(P.TokenLine(), P.TokenColumn());
    }
}

void TExpressionParser::RaiseTooDeep(uint32_t line, uint32_t column) const {
    RaiseMessage("Expression is nested too deeply", line, column);
}

std::unique_ptr<TExpToken> TExpressionParser::NewNode(uint8_t kind, uint8_t code, std::string text) {
    return NewNodeAt(kind, code, std::move(text), TokenLine(), TokenColumn());
}

std::unique_ptr<TExpToken> TExpressionParser::NewNodeAt(uint8_t kind, uint8_t code, std::string text, uint32_t line,
                                                        uint32_t column) {
    auto n = std::make_unique<TExpToken>();
    n->Kind = kind;
    n->Code = code;
    n->Text = std::move(text);
    n->Line = line;
    n->Column = column;
    n->Owner = Owner;
    return n;
}

void TExpressionParser::Adopt(TExpToken& parent, std::unique_ptr<TExpToken>& child) {
    child->Parent = &parent;
    if (child->Depth + 1 > parent.Depth) {
        parent.Depth = child->Depth + 1;
        if (parent.Depth > kMaxExpressionDepth) RaiseTooDeep(parent.Line, parent.Column);
    }
}

void TExpressionParser::AddArg(TExpToken& parent, std::unique_ptr<TExpToken> child) {
    Adopt(parent, child);
    parent.Args.push_back(std::move(child));
}

void TExpressionParser::RefuseStar(const TExpToken& operand) const {
    if (operand.Kind == ekColumn && operand.ColumnName == "*") RaiseInvalidAt("*", operand.Line, operand.Column);
}

void TExpressionParser::SetFirst(TExpToken& parent, std::unique_ptr<TExpToken> operand) {
    RefuseStar(*operand);
    Adopt(parent, operand);
    parent.First = std::move(operand);
}

void TExpressionParser::AddOperand(TExpToken& parent, std::unique_ptr<TExpToken> operand) {
    RefuseStar(*operand);
    AddArg(parent, std::move(operand));
}

std::unique_ptr<TExpToken> TExpressionParser::MakeBinary(uint8_t kind, uint8_t code, std::string text,
                                                         uint32_t line, uint32_t column,
                                                         std::unique_ptr<TExpToken> a,
                                                         std::unique_ptr<TExpToken> b) {
    RefuseStar(*a);
    RefuseStar(*b);
    auto n = NewNodeAt(kind, code, std::move(text), line, column);
    Adopt(*n, a);
    Adopt(*n, b);
    n->First = std::move(a);
    n->Second = std::move(b);
    return n;
}

std::unique_ptr<TExpToken> TExpressionParser::ParseWhole(std::string_view text, uint32_t flags, uint32_t line,
                                                         uint32_t column) {
    Load(text, line, column);
    NextToken();
    auto e = ParseExpression(flags);
    if (Kind() != tkEnd) RaiseInvalid();
    return e;
}

std::unique_ptr<TExpToken> TExpressionParser::ParseExpression(uint32_t flags) {
    TNestGuard guard(*this);
    return ParseOr(flags);
}

// Operands read by `operand`, joined left to right by the operators that
// `match` recognises. `match` returns the operator's code (ecNone: no operator
// follows) and text, and consumes all but the operator's last token.
template <typename Match>
std::unique_ptr<TExpToken> TExpressionParser::ParseBinaryChain(uint32_t flags, TOperandParser operand, Match match) {
    auto left = (this->*operand)(flags);
    for (;;) {
        const uint32_t line = TokenLine(), column = TokenColumn();
        std::string text;
        const uint8_t code = match(text);
        if (code == ecNone) return left;
        NextToken();
        auto right = (this->*operand)(flags & ~pfStar);
        left = MakeBinary(ekBinary, code, std::move(text), line, column, std::move(left), std::move(right));
    }
}

std::unique_ptr<TExpToken> TExpressionParser::ParseKeywordChain(uint32_t flags, TOperandParser operand,
                                                                std::string_view keyword, uint8_t code) {
    return ParseBinaryChain(flags, operand, [&](std::string& text) -> uint8_t {
        if (!IsKeyword(keyword)) return ecNone;
        text = TokenText();
        return code;
    });
}

std::unique_ptr<TExpToken> TExpressionParser::ParsePrefixed(uint32_t flags, TOperandParser operand, uint8_t code) {
    auto n = NewNode(ekUnary, code, TokenText());
    NextToken();
    SetFirst(*n, (this->*operand)(flags & ~pfStar));
    return n;
}

std::unique_ptr<TExpToken> TExpressionParser::ParseOr(uint32_t flags) {
    return ParseKeywordChain(flags, &TExpressionParser::ParseAnd, "OR", ecOr);
}

std::unique_ptr<TExpToken> TExpressionParser::ParseAnd(uint32_t flags) {
    return ParseKeywordChain(flags, &TExpressionParser::ParseNot, "AND", ecAnd);
}

std::unique_ptr<TExpToken> TExpressionParser::ParseNot(uint32_t flags) {
    if (!IsKeyword("NOT")) return ParseComparison(flags);
    if (!(flags & pfPredicates)) RaiseInvalid();
    return ParsePrefixed(flags, &TExpressionParser::ParseComparison, ecNot);
}

std::unique_ptr<TExpToken> TExpressionParser::ParseComparison(uint32_t flags) {
    auto left = ParseAdditive(flags);
    const uint32_t line = TokenLine(), column = TokenColumn();
    const uint32_t sub = flags & ~pfStar;
    uint8_t code = ecNone;
    std::string text;
    if (Kind() == '=') {
        code = ecEqual;
        text = "=";
        NextToken();
    } else if (Kind() == '<' || Kind() == '>') {
        const bool less = Kind() == '<';
        NextToken();
        if (Kind() == (less ? '>' : '<')) {
            code = ecNotEqual;
            text = less ? "<>" : "><";
            NextToken();
        } else if (Kind() == '=') {
            code = less ? ecLessEqual : ecGreaterEqual;
            text = less ? "<=" : ">=";
            NextToken();
        } else {
            code = less ? ecLess : ecGreater;
            text = less ? "<" : ">";
        }
    }
    if (code != ecNone) {
        auto right = ParseAdditive(sub);
        return MakeBinary(ekBinary, code, text, line, column, std::move(left), std::move(right));
    }
    if (!(flags & pfPredicates)) return left;

    bool negated = false;
    std::string notText;
    if (IsKeyword("NOT")) {
        notText = TokenText() + " ";
        NextToken();
        negated = true;
        if (!IsKeyword("BETWEEN") && !IsKeyword("LIKE") && !IsKeyword("IN")) RaiseExpected("BETWEEN, LIKE, or IN");
    }
    if (IsKeyword("IS")) {
        NextToken();
        bool isNot = false;
        if (IsKeyword("NOT")) {
            isNot = true;
            NextToken();
            if (!IsKeyword("NULL")) RaiseExpected("NULL");
        } else if (!IsKeyword("NULL")) {
            RaiseExpected("NULL or NOT");
        }
        auto nullNode = NewNode(ekConstant, ecNone, TokenText());
        NextToken();
        return MakeBinary(ekBinary, isNot ? ecNotEqual : ecEqual, isNot ? "IS NOT" : "IS", line, column,
                          std::move(left), std::move(nullNode));
    }
    // The node of a [NOT] BETWEEN / LIKE / IN predicate on `left`, its keyword consumed.
    auto predicate = [&](uint8_t code, uint8_t negatedCode) {
        auto n = NewNodeAt(ekExtended, negated ? negatedCode : code, notText + TokenText(), line, column);
        NextToken();
        SetFirst(*n, std::move(left));
        return n;
    };
    if (IsKeyword("BETWEEN")) {
        auto n = predicate(ecBetween, ecNotBetween);
        AddOperand(*n, ParseAdditive(sub));
        ExpectKeyword("AND");
        NextToken();
        AddOperand(*n, ParseAdditive(sub));
        return n;
    }
    if (IsKeyword("LIKE")) {
        auto n = predicate(ecLike, ecNotLike);
        AddOperand(*n, ParseAdditive(sub));
        if (IsKeyword("ESCAPE")) {
            NextToken();
            AddArg(*n, ParsePrimary(sub));
        }
        return n;
    }
    if (IsKeyword("IN")) {
        auto n = predicate(ecInList, ecNotInList);
        ExpectSkip('(');
        if (IsKeyword("SELECT")) {
            if (!(flags & pfSubQueries) || !SubQueryParser) RaiseInvalid();
            n->Code = negated ? ecNotInQuery : ecInQuery;
            TNestGuard guard(*this);
            SubQueryParser(*n);
        } else {
            do {
                AddOperand(*n, ParseExpression(sub));
            } while (SkipIf(','));
        }
        ExpectSkip(')');
        return n;
    }
    return left;
}

std::unique_ptr<TExpToken> TExpressionParser::ParseAdditive(uint32_t flags) {
    TNestGuard guard(*this);
    return ParseBinaryChain(flags, &TExpressionParser::ParseMultiplicative, [&](std::string& text) -> uint8_t {
        if (Kind() == '+') {
            text = "+";
            return ecAdd;
        }
        if (Kind() == '-') {
            text = "-";
            return ecSubtract;
        }
        if (Kind() == '|') {
            NextToken();
            Expect('|');
            text = "||";
            return ecAdd;
        }
        return ecNone;
    });
}

std::unique_ptr<TExpToken> TExpressionParser::ParseMultiplicative(uint32_t flags) {
    return ParseBinaryChain(flags, &TExpressionParser::ParseUnary, [&](std::string& text) -> uint8_t {
        uint8_t code;
        if (Kind() == '*') code = ecMultiply;
        else if (Kind() == '/') code = ecDivide;
        else if (IsKeyword("MOD")) code = ecMod;
        else return ecNone;
        text = TokenText();
        return code;
    });
}

std::unique_ptr<TExpToken> TExpressionParser::ParseUnary(uint32_t flags) {
    if (Kind() != '+' && Kind() != '-') return ParsePrimary(flags);
    return ParsePrefixed(flags, &TExpressionParser::ParsePrimary, Kind() == '-' ? ecNegate : ecPlusSign);
}

std::unique_ptr<TExpToken> TExpressionParser::ParseNumber() {
    auto n = NewNode(ekConstant, ecNone, TokenText());
    const std::string& t = TokenText();
    const char* b = t.data();
    const char* e = t.data() + t.size();
    if (Kind() == tkInteger) {
        int32_t i32 = 0;
        auto r = std::from_chars(b, e, i32);
        if (r.ec == std::errc() && r.ptr == e) {
            n->SetType(ftdInteger, fsdNone, 4);
            n->SetInteger(i32);
            NextToken();
            return n;
        }
        int64_t i64 = 0;
        r = std::from_chars(b, e, i64);
        if (r.ec == std::errc() && r.ptr == e) {
            n->SetType(ftdLargeInt, fsdNone, 8);
            n->SetLargeInt(i64);
            NextToken();
            return n;
        }
    }
    double d = 0;
    auto r = std::from_chars(b, e, d);
    if (r.ec != std::errc() || r.ptr != e) RaiseExpected("numeric expression");
    n->SetType(ftdFloat, fsdNone, 8);
    n->SetFloat(d);
    NextToken();
    return n;
}

std::unique_ptr<TExpToken> TExpressionParser::ParsePrimary(uint32_t flags) {
    TNestGuard guard(*this);
    switch (Kind()) {
        case tkString: {
            auto n = NewNode(ekConstant, ecNone, TokenText());
            n->SetType(ftdString, fsdNone, static_cast<uint32_t>(TokenText().size() + 1));
            if (TokenText().empty()) {
                n->IsNull = true;
            } else {
                n->SetString(TokenText());
            }
            NextToken();
            return n;
        }
        case tkCharCode: {
            const std::string& t = TokenText();
            unsigned v = 256;
            if (t.size() <= 4) std::from_chars(t.data() + 1, t.data() + t.size(), v);
            if (v > 255) RaiseExpected("character constant");
            auto n = NewNode(ekConstant, ecNone, t);
            n->SetType(ftdString, fsdNone, 2);
            char c = static_cast<char>(v);
            n->SetString(std::string_view(&c, 1));
            NextToken();
            return n;
        }
        case tkInteger:
        case tkReal: return ParseNumber();
        case '(': {
            NextToken();
            auto e = ParseExpression(flags & ~pfStar);
            ExpectSkip(')');
            return e;
        }
        case '*': {
            if (!(flags & pfStar)) break;
            auto n = NewNode(ekColumn, ecNone, "*");
            n->ColumnName = std::string(1, '*');
            NextToken();
            return n;
        }
        case '?': {
            if (!(flags & pfParameters)) RaiseInvalid();
            auto n = NewNode(ekConstant, ecNone, "?");
            n->IsParameter = true;
            if (Parameters) Parameters->push_back(n.get());
            NextToken();
            return n;
        }
        case tkBracketName:
        case tkQuotedName: return ParseColumn(flags, TokenText());
        case tkIdentifier: return ParseIdentifier(flags);
        default: break;
    }
    RaiseExpected("expression");
}

std::unique_ptr<TExpToken> TExpressionParser::ParseColumn(uint32_t flags, std::string first) {
    auto n = NewNode(ekColumn, ecNone, first);
    n->ColumnName = std::string(TrimSpaces(first));
    NextToken();
    if (Kind() == '.' && (flags & pfQualified)) {
        NextToken();
        if (Kind() == '*' && (flags & pfStar)) {
            n->TableName = n->ColumnName;
            n->ColumnName = std::string(1, '*');
        } else if (IsNameLike()) {
            n->TableName = n->ColumnName;
            n->ColumnName = std::string(TrimSpaces(TokenText()));
        } else {
            RaiseExpected("identifier");
        }
        n->Text = n->TableName + "." + n->ColumnName;
        NextToken();
    }
    return n;
}

std::unique_ptr<TExpToken> TExpressionParser::ParseIdentifier(uint32_t flags) {
    const std::string name = TokenText();
    const uint32_t line = TokenLine(), column = TokenColumn();
    if (IsKeyword("TRUE") || IsKeyword("FALSE")) {
        auto n = NewNode(ekConstant, ecNone, name);
        n->SetType(ftdBoolean, fsdNone, 2);
        n->SetBoolean(IsKeyword("TRUE"));
        NextToken();
        return n;
    }
    if (IsKeyword("NULL")) {
        auto n = NewNode(ekConstant, ecNone, name);
        NextToken();
        return n;
    }
    for (const auto& a : kAggregates) {
        if (!SameName(a.Name, name)) continue;
        NextToken();
        if (Kind() != '(') {
            // Not a call: an ordinary column of that name.
            auto n = NewNodeAt(ekColumn, ecNone, name, line, column);
            n->ColumnName = name;
            return n;
        }
        if (!(flags & pfAggregates)) RaiseInvalidAt(name, line, column);
        return ParseAggregate(flags, a.Code, name, line, column);
    }
    if (const TFunctionName* f = FindFunction(name)) {
        NextToken();
        return ParseFunction(flags, f->Code, name, line, column);
    }
    if (Functions) {
        int index = Functions->Find(name);
        if (index >= 0) {
            const TSqlFunctionDef& def = Functions->Item(static_cast<size_t>(index));
            auto n = NewNode(ekFunction, ecRegistered, name);
            n->FunctionIndex = index;
            n->SetType(def.ResultType, def.ResultSubType, 0);
            NextToken();
            ExpectSkip('(');
            for (size_t i = 0; i < def.Params.size(); ++i) {
                if (i) ExpectSkip(',');
                AddArg(*n, ParseExpression(flags & ~pfStar));
            }
            ExpectSkip(')');
            return n;
        }
    }
    return ParseColumn(flags, name);
}

std::unique_ptr<TExpToken> TExpressionParser::ParseAggregate(uint32_t flags, uint8_t code, std::string name,
                                                             uint32_t line, uint32_t column) {
    auto n = NewNodeAt(ekFunction, code, std::move(name), line, column);
    ExpectSkip('(');
    const uint32_t argFlags = code == ecCount ? (flags | pfStar) : (flags & ~pfStar);
    AddArg(*n, ParseAdditive(argFlags));
    if (code == ecList && SkipIf(',')) AddArg(*n, ParseAdditive(flags & ~pfStar));
    ExpectSkip(')');
    return n;
}

void TExpressionParser::ExpectSeparator(std::string_view keyword) {
    if (Kind() == ',' || IsKeyword(keyword)) {
        NextToken();
        return;
    }
    RaiseExpected(std::string(keyword) + " or ,");
}

void TExpressionParser::SkipEmptyParens() {
    if (SkipIf('(')) ExpectSkip(')');
}

void TExpressionParser::ParseArgs(TExpToken& n, TOperandParser parse, uint32_t flags,
                                  std::initializer_list<std::string_view> separators) {
    AddArg(n, (this->*parse)(flags));
    for (std::string_view keyword : separators) {
        if (keyword == ",") ExpectSkip(',');
        else ExpectSeparator(keyword);
        AddArg(n, (this->*parse)(flags));
    }
}

std::unique_ptr<TExpToken> TExpressionParser::ParseFunction(uint32_t flags, uint8_t code, std::string name,
                                                            uint32_t line, uint32_t column) {
    auto n = NewNodeAt(ekFunction, code, std::move(name), line, column);
    const uint32_t sub = flags & ~pfStar;
    const uint32_t full = sub;
    constexpr TOperandParser additive = &TExpressionParser::ParseAdditive;
    constexpr TOperandParser expression = &TExpressionParser::ParseExpression;
    const TFunctionName* f = FindFunction(n->Text);
    switch (f->Syntax) {
        case synNoArgs: SkipEmptyParens(); return n;
        case synRand:
            if (SkipIf('(')) {
                if (Kind() != ')') {
                    if (IsKeyword("RANGE")) NextToken();
                    AddArg(*n, ParseAdditive(sub));
                }
                ExpectSkip(')');
            }
            return n;
        case synCase: {
            std::unique_ptr<TExpToken> operand;
            if (!IsKeyword("WHEN")) operand = ParseExpression(full | pfPredicates);
            auto whens = NewNode(ekFunction, ecWhenList, "WHEN");
            auto thens = NewNode(ekFunction, ecThenList, "THEN");
            ExpectKeyword("WHEN");
            while (IsKeyword("WHEN")) {
                const uint32_t wl = TokenLine(), wc = TokenColumn();
                NextToken();
                auto w = ParseExpression(full | pfPredicates);
                if (operand) w = MakeBinary(ekBinary, ecEqual, "=", wl, wc, operand->Copy(), std::move(w));
                AddArg(*whens, std::move(w));
                ExpectKeyword("THEN");
                NextToken();
                AddArg(*thens, ParseExpression(full | pfPredicates));
            }
            std::unique_ptr<TExpToken> otherwise;
            if (IsKeyword("ELSE")) {
                NextToken();
                otherwise = ParseExpression(full | pfPredicates);
            } else {
                otherwise = NewNode(ekConstant, ecNone, "NULL");
            }
            ExpectKeyword("END");
            NextToken();
            AddArg(*n, std::move(whens));
            AddArg(*n, std::move(thens));
            AddArg(*n, std::move(otherwise));
            return n;
        }
        default: break;
    }
    ExpectSkip('(');
    switch (f->Syntax) {
        case synOne: ParseArgs(*n, additive, sub, {}); break;
        case synForCount: ParseArgs(*n, additive, sub, {"FOR"}); break;
        case synConcat: ParseArgs(*n, additive, sub, {"WITH"}); break;
        case synSubstring:
            ParseArgs(*n, additive, sub, {"FROM"});
            if (Kind() == ',' || IsKeyword("FOR")) {
                NextToken();
                AddArg(*n, ParseAdditive(sub));
            }
            break;
        case synReplace: ParseArgs(*n, additive, sub, {"WITH", "IN"}); break;
        case synInString:
        case synTextSearch: {
            AddArg(*n, ParseAdditive(sub));
            ExpectSeparator("IN");
            AddArg(*n, f->Syntax == synTextSearch ? ParsePrimary(sub) : ParseAdditive(sub));
            break;
        }
        case synTrim: {
            if (IsKeyword("LEADING")) n->Code = ecLTrim;
            else if (IsKeyword("TRAILING")) n->Code = ecRTrim;
            else if (IsKeyword("BOTH")) n->Code = ecAllTrim;
            else RaiseExpected("LEADING, TRAILING, or BOTH");
            NextToken();
            auto chars = ParsePrimary(sub);
            ExpectSeparator("FROM");
            AddArg(*n, ParseAdditive(sub));
            AddArg(*n, std::move(chars));
            break;
        }
        case synExtract: {
            bool found = false;
            for (uint8_t i = 0; i < 10 && !found; ++i) {
                if (IsKeyword(kExtractParts[i])) {
                    n->Code = static_cast<uint8_t>(ecExtractYear + i);
                    found = true;
                }
            }
            if (!found) RaiseExpected("YEAR, MONTH, WEEK, DAY, DAYOFWEEK, DAYOFYEAR, HOUR, MINUTE, SECOND, or MSECOND");
            NextToken();
            ExpectSeparator("FROM");
            AddArg(*n, ParseAdditive(sub));
            break;
        }
        case synCast:
            AddArg(*n, ParseExpression(full));
            ExpectSeparator("AS");
            n->CastType = ParseDataType(true);
            break;
        case synRound:
            AddArg(*n, ParseAdditive(sub));
            if (Kind() == ',' || IsKeyword("TO")) {
                NextToken();
                AddArg(*n, ParsePrimary(sub));
            }
            break;
        case synPair: ParseArgs(*n, additive, sub, {","}); break;
        case synPower: ParseArgs(*n, additive, sub, {"TO"}); break;
        case synIf: ParseArgs(*n, expression, full | pfPredicates, {"THEN", "ELSE"}); break;
        case synIfNull: ParseArgs(*n, expression, full, {"THEN", "ELSE"}); break;
        case synNullIf: ParseArgs(*n, expression, full, {","}); break;
        case synCoalesce:
            AddArg(*n, ParseExpression(full));
            while (SkipIf(',')) AddArg(*n, ParseExpression(full));
            break;
        case synTable: AddArg(*n, ParsePrimary(sub)); break;
        default: break;
    }
    ExpectSkip(')');
    return n;
}

std::unique_ptr<TDataTypeSpec> TExpressionParser::ParseDataType(bool required) {
    struct TTypeWord {
        const char* Name;
        uint8_t Type;
        uint8_t SubType;
        uint8_t Size;  // 0 none, 1 required length, 2 optional (precision, scale), 3 optional (...)
    };
    static constexpr TTypeWord kTypes[] = {
        {"SMALLINT", ftdSmallInt, fsdNone, 0},     {"WORD", ftdWord, fsdNone, 0},
        {"INTEGER", ftdInteger, fsdNone, 0},       {"INT", ftdInteger, fsdNone, 0},
        {"AUTOINC", ftdInteger, fsdAutoInc, 0},    {"LARGEINT", ftdLargeInt, fsdNone, 0},
        {"DECIMAL", ftdBCD, fsdNone, 2},           {"NUMERIC", ftdBCD, fsdNone, 2},
        {"FLOAT", ftdFloat, fsdNone, 3},           {"MONEY", ftdFloat, fsdMoney, 0},
        {"CHARACTER", ftdString, fsdFixedChar, 1}, {"CHAR", ftdString, fsdFixedChar, 1},
        {"VARCHAR", ftdString, fsdNone, 1},        {"WIDECHAR", ftdString, fsdWideString, 1},
        {"GUID", ftdString, fsdGuid, 0},           {"BYTES", ftdBytes, fsdNone, 1},
        {"BINARY", ftdBytes, fsdNone, 1},          {"VARBYTES", ftdVarBytes, fsdNone, 1},
        {"VARBINARY", ftdVarBytes, fsdNone, 1},    {"DATE", ftdDate, fsdNone, 0},
        {"TIME", ftdTime, fsdNone, 0},             {"TIMESTAMP", ftdTimestamp, fsdNone, 0},
        {"BOOLEAN", ftdBoolean, fsdNone, 0},       {"BOOL", ftdBoolean, fsdNone, 0},
        {"BIT", ftdBoolean, fsdNone, 0},           {"BLOB", ftdBlob, fsdNone, 0},
        {"LONGVARBINARY", ftdBlob, fsdNone, 0},    {"LONGVARCHAR", ftdBlob, fsdMemo, 0},
        {"MEMO", ftdBlob, fsdMemo, 0},             {"GRAPHIC", ftdBlob, fsdGraphic, 0},
    };
    const TTypeWord* word = nullptr;
    for (const auto& t : kTypes)
        if (IsKeyword(t.Name)) word = &t;
    if (!word) {
        if (!required) return nullptr;
        RaiseExpected("SQL data type");
    }
    auto typeDef = std::make_unique<TDataTypeSpec>();
    typeDef->DataType = word->Type;
    typeDef->SubType = word->SubType;
    typeDef->Text = TokenText();
    typeDef->Line = TokenLine();
    typeDef->Column = TokenColumn();
    NextToken();
    if (word->Type == ftdInteger && word->SubType == fsdNone && IsKeyword("IDENTITY")) {
        typeDef->SubType = fsdAutoInc;
        NextToken();
    }
    switch (word->Size) {
        case 1:
            ExpectSkip('(');
            typeDef->Length = ParsePrimary(0);
            ExpectSkip(')');
            break;
        case 2:
        case 3:
            if (SkipIf('(')) {
                typeDef->Length = ParsePrimary(0);
                if (SkipIf(',')) typeDef->Scale = ParsePrimary(0);
                ExpectSkip(')');
            }
            if (word->Size == 3) {
                typeDef->Length.reset();
                typeDef->Scale.reset();
            }
            break;
        default: break;
    }
    return typeDef;
}

int32_t TExpressionParser::ParseIntegerLiteral() {
    Expect(tkInteger);
    int32_t v = 0;
    const std::string& t = TokenText();
    auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size()) RaiseExpected("integer");
    NextToken();
    return v;
}

}  // namespace dezede
