#pragma once
// TSqlScanner: the tokenizer under every SQL statement and cursor filter.
// It keeps a private copy of the text, counts lines and columns (the first
// line starts at the caller's column), skips comments and raises the
// statement's error code with the position of the offending token.

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/error_codes.h"

namespace dezede {

// Token kinds. Every other kind is a single character whose byte value is the kind.
enum TTokenKind : uint8_t {
    tkEnd = 0,
    tkIdentifier = 1,
    tkBracketName = 2,
    tkString = 3,
    tkQuotedName = 4,
    tkCharCode = 5,
    tkInteger = 6,
    tkReal = 7,
};

// Where errors go and how they name the statement.
struct TScanErrorContext {
    uint16_t Code = DEZEDE_SQLPARSE;
    std::string Database;
    std::string Table;  // filters only
    std::string StatementName = "SQL statement";
};

class TSqlScanner {
public:
    TScanErrorContext ErrorContext;

    // Takes a private copy of the text (ending at its first zero byte) and
    // positions before the first token; call NextToken to read it.
    void Load(std::string_view text, uint32_t line = 1, uint32_t column = 1);
    void NextToken();

    uint8_t Kind() const { return Kind_; }
    bool IsKeyword(std::string_view keyword) const;
    bool IsNameLike() const { return Kind_ == tkIdentifier || Kind_ == tkBracketName || Kind_ == tkQuotedName; }
    bool IsStringConstant() const { return Kind_ == tkString; }
    // The token's text: as written, or between the delimiters with doubled quotes reduced.
    const std::string& TokenText() const { return Text_; }
    const std::string& SavedTokenText() const { return SavedText_; }
    uint32_t TokenLine() const { return Line_; }
    uint32_t TokenColumn() const { return TokenColumn_; }
    uint32_t SavedLine() const { return SavedLine_; }
    uint32_t SavedColumn() const { return SavedColumn_; }
    // Byte offsets into the loaded text.
    size_t TokenStart() const { return TokenStart_; }
    size_t PreviousTokenEnd() const { return PrevEnd_; }
    size_t StatementStart() const { return StatementStart_; }
    size_t StatementNameStart() const { return StatementNameStart_; }
    std::string_view Source() const { return Buffer_; }

    void Expect(uint8_t kind) const;
    void ExpectSkip(uint8_t kind);
    bool SkipIf(uint8_t kind);
    void ExpectKeyword(std::string_view keyword) const;

    void RememberPosition();
    void MarkStatementStart() { StatementStart_ = TokenStart_; }
    void MarkStatementNameStart() { StatementNameStart_ = TokenStart_; }

    // "Expected <what> but instead found <token> in <statement>", or "Missing
    // <what> in <statement>" at the end of the text.
    [[noreturn]] void RaiseExpected(std::string_view what) const;
    [[noreturn]] void RaiseExpectedKind(uint8_t kind) const;
    // "Invalid expression <token> found in <statement>".
    [[noreturn]] void RaiseInvalid() const;
    [[noreturn]] void RaiseInvalidAt(std::string_view text, uint32_t line, uint32_t column) const;
    // Any inner text at a given position, followed by " in <statement>".
    [[noreturn]] void RaiseMessage(const std::string& inner, uint32_t line, uint32_t column) const;
    // The inner text as it stands.
    [[noreturn]] void RaiseRaw(const std::string& inner, uint32_t line, uint32_t column) const;

private:
    [[noreturn]] void RaiseMissingChar(char c, size_t at, std::string_view found, bool atEnd) const;
    uint32_t ColumnOf(size_t pos) const;
    void SkipBlanksAndComments();
    void BreakLine(size_t afterBreak);

    std::string Buffer_;
    size_t Pos_ = 0;
    size_t TokenStart_ = 0;
    size_t PrevEnd_ = 0;
    size_t StatementStart_ = 0;
    size_t StatementNameStart_ = 0;
    uint8_t Kind_ = tkEnd;
    std::string Text_;
    uint32_t LineNo_ = 1;     // line at the read position
    uint32_t ColumnBase_ = 1;
    size_t LineStart_ = 0;
    uint32_t Line_ = 1;       // line and column of the current token
    uint32_t TokenColumn_ = 1;
    std::string SavedText_;
    uint32_t SavedLine_ = 1;
    uint32_t SavedColumn_ = 1;
};

}  // namespace dezede
