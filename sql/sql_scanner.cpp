#include "sql/sql_scanner.h"

#include <cstring>

#include "engine/error_context.h"

namespace dezede {

namespace {

bool IsIdentStart(uint8_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || (c >= 128 && c <= 254);
}

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

bool IsIdentPart(uint8_t c) { return IsIdentStart(c) || IsDigit(c) || c == '!' || c == '$' || c == '@'; }

uint8_t AsciiUpper(uint8_t c) { return (c >= 'a' && c <= 'z') ? static_cast<uint8_t>(c - 32) : c; }

}  // namespace

void TSqlScanner::Load(std::string_view text, uint32_t line, uint32_t column) {
    size_t zero = text.find('\0');
    Buffer_.assign(text.substr(0, zero == std::string_view::npos ? text.size() : zero));
    Pos_ = TokenStart_ = PrevEnd_ = StatementStart_ = StatementNameStart_ = 0;
    Kind_ = tkEnd;
    Text_.clear();
    LineNo_ = Line_ = SavedLine_ = line;
    ColumnBase_ = TokenColumn_ = SavedColumn_ = column;
    LineStart_ = 0;
    SavedText_.clear();
}

uint32_t TSqlScanner::ColumnOf(size_t pos) const {
    return static_cast<uint32_t>(pos - LineStart_) + ColumnBase_;
}

void TSqlScanner::BreakLine(size_t afterBreak) {
    ++LineNo_;
    ColumnBase_ = 1;
    LineStart_ = afterBreak;
}

void TSqlScanner::SkipBlanksAndComments() {
    const size_t n = Buffer_.size();
    for (;;) {
        while (Pos_ < n) {
            uint8_t c = static_cast<uint8_t>(Buffer_[Pos_]);
            if (c == '\r') {
                Pos_ += (Pos_ + 1 < n && Buffer_[Pos_ + 1] == '\n') ? 2 : 1;
                BreakLine(Pos_);
            } else if (c == '\n') {
                BreakLine(++Pos_);
            } else if (c >= 1 && c <= 32) {
                ++Pos_;
            } else {
                break;
            }
        }
        if (Pos_ + 1 < n && Buffer_[Pos_] == '-' && Buffer_[Pos_ + 1] == '-') {
            while (Pos_ < n && Buffer_[Pos_] != '\r' && Buffer_[Pos_] != '\n') ++Pos_;
            continue;
        }
        if (Pos_ + 1 < n && Buffer_[Pos_] == '/' && Buffer_[Pos_ + 1] == '*') {
            uint32_t line = LineNo_;
            uint32_t column = ColumnOf(Pos_);
            Pos_ += 2;
            for (;;) {
                if (Pos_ >= n) {
                    RaiseRaw("Missing / in " + ErrorContext.StatementName, line, column);
                }
                char c = Buffer_[Pos_];
                if (c == '*' && Pos_ + 1 < n && Buffer_[Pos_ + 1] == '/') {
                    Pos_ += 2;
                    break;
                }
                if (c == '\r') {
                    Pos_ += (Pos_ + 1 < n && Buffer_[Pos_ + 1] == '\n') ? 2 : 1;
                    BreakLine(Pos_);
                } else if (c == '\n') {
                    BreakLine(++Pos_);
                } else {
                    ++Pos_;
                }
            }
            continue;
        }
        return;
    }
}

void TSqlScanner::NextToken() {
    PrevEnd_ = Pos_;
    SkipBlanksAndComments();
    const size_t n = Buffer_.size();
    TokenStart_ = Pos_;
    Line_ = LineNo_;
    TokenColumn_ = ColumnOf(Pos_);
    Text_.clear();
    if (Pos_ >= n) {
        Kind_ = tkEnd;
        return;
    }
    const uint8_t c = static_cast<uint8_t>(Buffer_[Pos_]);
    auto at = [&](size_t i) -> uint8_t { return i < n ? static_cast<uint8_t>(Buffer_[i]) : 0; };

    if (IsIdentStart(c)) {
        size_t e = Pos_ + 1;
        while (e < n && IsIdentPart(at(e))) ++e;
        Kind_ = tkIdentifier;
        Text_.assign(Buffer_, Pos_, e - Pos_);
        Pos_ = e;
        return;
    }
    if (IsDigit(c) || (c == '.' && IsDigit(at(Pos_ + 1)))) {
        size_t e = Pos_;
        bool real = false;
        while (e < n) {
            uint8_t d = at(e);
            if (IsDigit(d)) {
                ++e;
            } else if (d == '.' || d == 'E' || d == 'e') {
                real = true;
                ++e;
            } else if ((d == '+' || d == '-') && e > Pos_ && (at(e - 1) == 'E' || at(e - 1) == 'e')) {
                ++e;
            } else {
                break;
            }
        }
        Kind_ = real ? tkReal : tkInteger;
        Text_.assign(Buffer_, Pos_, e - Pos_);
        Pos_ = e;
        return;
    }
    if (c == '#' && IsDigit(at(Pos_ + 1))) {
        size_t e = Pos_ + 1;
        while (e < n && IsDigit(at(e))) ++e;
        Kind_ = tkCharCode;
        Text_.assign(Buffer_, Pos_, e - Pos_);
        Pos_ = e;
        return;
    }
    if (c == '\'' || c == '"' || c == '[') {
        const char close = c == '[' ? ']' : static_cast<char>(c);
        const bool doubled = c != '[';
        size_t e = Pos_ + 1;
        for (;;) {
            if (e >= n || Buffer_[e] == '\r' || Buffer_[e] == '\n') {
                RaiseMissingChar(close, Pos_, Text_, e >= n);
            }
            if (Buffer_[e] == close) {
                if (doubled && e + 1 < n && Buffer_[e + 1] == close) {
                    Text_.push_back(close);
                    e += 2;
                    continue;
                }
                break;
            }
            Text_.push_back(Buffer_[e]);
            ++e;
        }
        Kind_ = c == '\'' ? tkString : c == '"' ? tkQuotedName : tkBracketName;
        Pos_ = e + 1;
        return;
    }
    Kind_ = c;
    Text_.assign(1, static_cast<char>(c));
    ++Pos_;
}

bool TSqlScanner::IsKeyword(std::string_view keyword) const {
    if (Kind_ != tkIdentifier || Text_.size() != keyword.size()) return false;
    for (size_t i = 0; i < keyword.size(); ++i) {
        if (AsciiUpper(static_cast<uint8_t>(Text_[i])) != AsciiUpper(static_cast<uint8_t>(keyword[i]))) return false;
    }
    return true;
}

void TSqlScanner::Expect(uint8_t kind) const {
    if (Kind_ != kind) RaiseExpectedKind(kind);
}

void TSqlScanner::ExpectSkip(uint8_t kind) {
    Expect(kind);
    NextToken();
}

bool TSqlScanner::SkipIf(uint8_t kind) {
    if (Kind_ != kind) return false;
    NextToken();
    return true;
}

void TSqlScanner::ExpectKeyword(std::string_view keyword) const {
    if (!IsKeyword(keyword)) RaiseExpected(keyword);
}

void TSqlScanner::RememberPosition() {
    SavedText_ = Text_;
    SavedLine_ = Line_;
    SavedColumn_ = TokenColumn_;
}

void TSqlScanner::RaiseExpected(std::string_view what) const {
    if (Kind_ == tkEnd) {
        RaiseMessage("Missing " + std::string(what), Line_, TokenColumn_);
    }
    RaiseMessage("Expected " + std::string(what) + " but instead found " + Text_, Line_, TokenColumn_);
}

void TSqlScanner::RaiseExpectedKind(uint8_t kind) const {
    switch (kind) {
        case tkEnd: RaiseExpected("end of statement");
        case tkIdentifier:
        case tkBracketName:
        case tkQuotedName: RaiseExpected("identifier");
        case tkString: RaiseExpected("string constant");
        case tkCharCode: RaiseExpected("character constant");
        case tkInteger: RaiseExpected("integer");
        case tkReal: RaiseExpected("numeric expression");
        default: RaiseExpected(std::string(1, static_cast<char>(kind)));
    }
}

void TSqlScanner::RaiseInvalid() const { RaiseInvalidAt(Text_, Line_, TokenColumn_); }

void TSqlScanner::RaiseInvalidAt(std::string_view text, uint32_t line, uint32_t column) const {
    RaiseRaw("Invalid expression " + std::string(text) + " found in " + ErrorContext.StatementName, line, column);
}

void TSqlScanner::RaiseMessage(const std::string& inner, uint32_t line, uint32_t column) const {
    RaiseRaw(inner + " in " + ErrorContext.StatementName, line, column);
}

void TSqlScanner::RaiseRaw(const std::string& inner, uint32_t line, uint32_t column) const {
    RaiseError(ErrorContext.Code, {.Table = ErrorContext.Table,
                                   .Database = ErrorContext.Database,
                                   .Message = inner,
                                   .Line = line,
                                   .Column = column});
}

void TSqlScanner::RaiseMissingChar(char c, size_t at, std::string_view found, bool atEnd) const {
    const uint32_t column = ColumnOf(at);
    if (atEnd) RaiseMessage(std::string("Missing ") + c, LineNo_, column);
    RaiseMessage(std::string("Expected ") + c + " but instead found " + std::string(found), LineNo_, column);
}

}  // namespace dezede
