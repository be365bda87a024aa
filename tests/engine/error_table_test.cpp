#include <gtest/gtest.h>

#include "engine/engine_error.h"
#include "engine/error_table.h"

namespace dezede {
namespace {

struct MessageCase {
    uint16_t code;
    TErrorArgs args;
    int32_t osError;
    const char* expected;
};

TEST(ErrorTable, MessagesAreFilledFromTheContext) {
    const MessageCase cases[] = {
        {8961, {.Table = "Employee"}, 0, "DEZEDE Engine Error # 8961 Header information corrupt in the table 'Employee'"},
        {9729, {.Table = "Reason", .Index = "ByCode"}, 0,
         "DEZEDE Engine Error # 9729 Duplicate key found in the index 'ByCode' of the table 'Reason'"},
        {10023, {.Table = "T", .Field = "F", .Index = "I"}, 0,
         "DEZEDE Engine Error # 10023 Invalid field number 'F' specified in the index 'I' for the table 'T'"},
        {11949, {.Message = "Expected end of statement", .Line = 3, .Column = 14}, 0,
         "DEZEDE Engine Error # 11949 SQL parsing error - Expected end of statement at line 3, column 14"},
        {10051, {.Table = "T", .Message = "bad", .Line = 1, .Column = 2}, 0,
         "DEZEDE Engine Error # 10051 Filter error for the table 'T' - bad at line 1, column 2"},
        {11047, {.Table = "x.dat"}, 17, "DEZEDE Engine Error # 11047 An unknown operating system error 17 occurred "
                                         "with the table or backup file 'x.dat'"},
        {9480, {.Database = "Quintora"}, 0,
         "DEZEDE Engine Error # 9480 The database 'Quintora' is full and cannot contain any more tables"},
        {11016, {}, 0, "DEZEDE Engine Error # 11016 There is insufficient operating system memory available for the "
                       "current operation"},
        {15002, {}, 0, "DEZEDE Engine Error # 15002 Error uncompressing data"},
        {12345, {.Table = "T"}, 0, "DEZEDE Engine Error # 12345 An unknown error occurred"},
        {11280, {}, 0, "DEZEDE Engine Error # 11280 An unknown error occurred"},
    };
    for (const MessageCase& c : cases) {
        TErrorContextStore::Instance().SetOSError(c.osError);
        try {
            RaiseError(c.code, c.args);
            FAIL() << "RaiseError returned";
        } catch (const EDEZEDEEngineError& e) {
            EXPECT_EQ(e.ErrorCode, c.code);
            EXPECT_EQ(e.OSErrorCode, c.osError);
            EXPECT_STREQ(e.what(), c.expected);
        }
    }
    TErrorContextStore::Instance().SetOSError(0);
}

TEST(ErrorTable, NamesAndUnnamedCodes) {
    EXPECT_EQ(ErrorCodeName(0), "DEZEDE_NONE");
    EXPECT_EQ(ErrorCodeName(8961), "DEZEDE_HEADERCORRUPT");
    EXPECT_EQ(ErrorCodeName(11284), "DEZEDE_REMOTECALLBACK");
    for (uint16_t code = 11299; code <= 11307; ++code) EXPECT_EQ(ErrorCodeName(code), "") << code;
    EXPECT_EQ(ErrorCodeName(1), "");
    EXPECT_EQ(ErrorCodeName(65535), "");
}

TEST(ErrorTable, TableIsSortedAndFormatsMatchTheirArguments) {
    uint16_t previous = 0;
    for (const TErrorCodeInfo& e : ErrorCodeTable()) {
        EXPECT_GT(e.Code, previous);
        previous = e.Code;
        if (!e.Format) continue;
        size_t placeholders = 0;
        for (const char* p = e.Format; *p; ++p)
            if (p[0] == '%' && (p[1] == 's' || p[1] == 'u')) ++placeholders, ++p;
        EXPECT_EQ(placeholders, e.Args.size()) << e.Name;
    }
}

TEST(ErrorTable, TextIsCutTo254AndContextStringsTo255) {
    const std::string longName(400, 'n');
    try {
        RaiseError(8961, {.Table = longName});
    } catch (const EDEZEDEEngineError& e) {
        EXPECT_EQ(e.ErrorTableName.size(), 255u);
        EXPECT_EQ(ErrorMessageText(8961, e.Context()).size(), 254u);
        EXPECT_EQ(std::string(e.what()).size(), std::string("DEZEDE Engine Error # 8961 ").size() + 254);
    }
}

}  // namespace
}  // namespace dezede
