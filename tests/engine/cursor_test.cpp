// Table cursors: moving on empty and small tables, the rebuilt index file,
// conflicts between sessions under both lock protocols, index upkeep, error
// events with retry, searches and ranges, change detection between
// processes, and a long randomised run against a model.

#include "engine/cursor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/data_directory.h"
#include "engine/data_engine.h"
#include "engine/data_file.h"
#include "engine/data_session.h"
#include "engine/data_table.h"
#include "engine/engine_error.h"
#include "engine/error_codes.h"
#include "engine/field_value.h"
#include "engine/index_file.h"
#include "engine/table_files.h"
#include "support/endian.h"
#include "tests/engine/sample_tables.h"
#include "tests/engine/test_errors.h"
#include "tests/engine/two_sessions.h"
#include "tests/helpers/helper_process.h"
#include "tests/helpers/temp_dir.h"

namespace dezede::test {
namespace {

// People: Name (non-unique, case-insensitive index), Code (unique index), Age
// (no index), Note (memo).
TTableDefinition PeopleTable() {
    TTableDefinition def;
    def.Fields = {Def("Name", ftdString, 20), Def("Code", ftdInteger), Def("Age", ftdInteger),
                  Def("Note", ftdBlob, 0, fsdMemo)};
    TIndexDescriptor byName = OneFieldIndex("ByName", 1);
    byName.CaseInsensitive = true;
    def.SecondaryIndexes = {byName, OneFieldIndex("ByCode", 2, true)};
    def.IndexPageSize = 1024;
    return def;
}

struct TPerson {
    std::string Name;
    int32_t Code = 0;
    int32_t Age = 0;
    bool operator==(const TPerson&) const = default;
};

class TPeople {
public:
    explicit TPeople(TDataCursor& c) : C_(c) {}
    std::vector<uint8_t> Image(const TPerson& p) const {
        std::vector<uint8_t> r(C_.RecordSize());
        C_.InitRecord(r);
        Set(r, p);
        return r;
    }
    void Set(std::vector<uint8_t>& r, const TPerson& p) const {
        SetFieldValue(*C_.FindField("Name"), r,
                      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(p.Name.data()), p.Name.size()));
        uint8_t v[4];
        StoreLE32(v, static_cast<uint32_t>(p.Code));
        SetFieldValue(*C_.FindField("Code"), r, std::span<const uint8_t>(v, 4));
        StoreLE32(v, static_cast<uint32_t>(p.Age));
        SetFieldValue(*C_.FindField("Age"), r, std::span<const uint8_t>(v, 4));
    }
    TPerson Of(std::span<const uint8_t> r) const {
        TPerson p;
        std::vector<uint8_t> v(21);
        if (!GetFieldValue(*C_.FindField("Name"), r, v)) p.Name = reinterpret_cast<const char*>(v.data());
        uint8_t n[4] = {};
        GetFieldValue(*C_.FindField("Code"), r, n);
        p.Code = static_cast<int32_t>(LoadLE32(n));
        GetFieldValue(*C_.FindField("Age"), r, n);
        p.Age = static_cast<int32_t>(LoadLE32(n));
        return p;
    }
    void Append(const TPerson& p) { C_.AppendRecord(Image(p)); }
    // Goes to the record with the code; its image into r.
    bool Goto(int32_t code, std::vector<uint8_t>& r) {
        const int16_t field = 2;
        r.resize(C_.RecordSize());
        return C_.Locate(std::span<const int16_t>(&field, 1), Image({"", code, 0}), false, 0, r);
    }
    void DeleteCode(int32_t code) {
        std::vector<uint8_t> r;
        ASSERT_TRUE(Goto(code, r));
        C_.DeleteRecord(r);
    }
    // Every record in the cursor's current order.
    std::vector<TPerson> All() {
        std::vector<TPerson> out;
        std::vector<uint8_t> r(C_.RecordSize());
        C_.SetToBegin();
        while (C_.GetNextRecord(r) == 0) out.push_back(Of(r));
        return out;
    }

private:
    TDataCursor& C_;
};

class Cursor : public TwoSessionsTest {
protected:
    void SetUp() override {
        Engine.SetTableReadLockRetryCount(50);
        Engine.SetTableWriteLockRetryCount(50);
        StartSessions();
        DirA->CreateTable("People", PeopleTable());
    }
    std::unique_ptr<TDataCursor> Open(TDataDirectory* dir, const TCursorOpenOptions& options = {}) {
        auto c = std::make_unique<TDataCursor>(*dir);
        c->OpenCursor("People", "", options);
        return c;
    }
};

TEST_F(Cursor, EmptyAndOneRecordTables) {
    auto c = Open(DirA);
    TPeople people(*c);
    std::vector<uint8_t> r(c->RecordSize(), 0xEE);
    EXPECT_EQ(c->GetNextRecord(r), DEZEDE_EOF);
    EXPECT_TRUE(std::all_of(r.begin(), r.end(), [](uint8_t b) { return b == 0; })) << "buffer cleared";
    c->SetToBegin();
    EXPECT_TRUE(c->AtBeginning() && c->AtEnd()) << "no current record at all";
    EXPECT_EQ(c->GetCurRecord(r), DEZEDE_NOCURRREC);
    EXPECT_EQ(c->RecordCount(), 0u);

    people.Append({"Ann", 1, 30});
    EXPECT_EQ(c->CurrentRecordNumber(), 1u) << "repositioned on the new record";
    c->SetToBegin();
    ASSERT_EQ(c->GetNextRecord(r), 0);
    EXPECT_EQ(people.Of(r), (TPerson{"Ann", 1, 30}));
    EXPECT_EQ(c->GetNextRecord(r), DEZEDE_EOF);
    EXPECT_EQ(c->GetPriorRecord(r), 0);
    EXPECT_EQ(c->GetPriorRecord(r), DEZEDE_BOF);
    EXPECT_EQ(c->RecordCount(), 1u);
    EXPECT_EQ(Open(DirB)->RecordCount(), 1u) << "written through for the other session";
}

TEST_F(Cursor, RegistersWithItsDirectoryAndSurvivesIt) {
    auto c = std::make_unique<TDataCursor>(*DirB);
    EXPECT_EQ(DirB->Cursors().size(), 1u);
    c->OpenCursor("People");
    B->CloseDataDir(DirB);  // the directory closes the cursor before it goes
    EXPECT_FALSE(c->IsOpen());
    EXPECT_EQ(c->Directory(), nullptr);
    c.reset();
    auto d = std::make_unique<TDataCursor>(*DirA);
    d.reset();
    EXPECT_TRUE(DirA->Cursors().empty());
}

TEST_F(Cursor, RecreatedIndexFileIsRebuiltWithThePrimaryIndexOnly) {
    {
        auto c = Open(DirA);
        TPeople people(*c);
        for (int i = 1; i <= 40; ++i) people.Append({"N" + std::to_string(i), i, i});
        people.DeleteCode(7);
    }
    ASSERT_TRUE(std::filesystem::remove(Dir.File("People.idx")));
    auto c = Open(DirA);
    EXPECT_EQ(c->IndexCount(), 1);
    EXPECT_EQ(ErrorOf([&] { c->SetIndexName("ByName"); }), DEZEDE_INVALIDINDEXNAME);
    TPeople people(*c);
    const std::vector<TPerson> all = people.All();
    ASSERT_EQ(all.size(), 39u);
    for (size_t i = 0; i < all.size(); ++i) EXPECT_EQ(all[i].Code, static_cast<int32_t>(i < 6 ? i + 1 : i + 2));
    EXPECT_EQ(Open(DirB)->IndexCount(), 1) << "the rebuilt file was written";
}

TEST_F(Cursor, GetNextRecordNamesTheStepThatFailed) {
    uint32_t root = 0;
    {
        auto c = Open(DirA);
        TPeople people(*c);
        for (int i = 1; i <= 5; ++i) people.Append({"S", i, 0});
        root = c->Table()->IndexFile()->RootPage(0);
    }
    ASSERT_GT(root, 0u);
    {
        // The primary index's root page becomes an unknown page type.
        FILE* f = std::fopen(Dir.File("People.idx").c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        std::fseek(f, static_cast<long>(kIndexDataStart + (root - 1) * 1024), SEEK_SET);
        std::fputc(0x77, f);
        std::fclose(f);
    }
    auto c = Open(DirB);
    std::vector<uint8_t> r(c->RecordSize());
    std::string message;
    bool engineError = false;
    try {
        c->GetNextRecord(r);
    } catch (const EDEZEDEEngineError&) {
        engineError = true;
    } catch (const std::runtime_error& e) {
        message = e.what();
    }
    EXPECT_FALSE(engineError);
    EXPECT_EQ(message.rfind("GetNextRecord exception in GotoFirstIndexPosition \r\n\r\n", 0), 0u) << message;
    EXPECT_NE(message.find("8965"), std::string::npos) << "the caught error's message follows";
}

TEST_F(Cursor, OptimisticModifyOfARecordAnotherSessionChangedFails) {
    A->SetLockProtocol(lpOptimistic);
    B->SetLockProtocol(lpOptimistic);
    auto ca = Open(DirA);
    TPeople pa(*ca);
    pa.Append({"Ann", 1, 30});
    auto cb = Open(DirB);
    TPeople pb(*cb);
    std::vector<uint8_t> ra(ca->RecordSize()), rb(cb->RecordSize());
    ca->SetToBegin();
    ASSERT_EQ(ca->GetNextRecord(ra), 0);
    cb->SetToBegin();
    ASSERT_EQ(cb->GetNextRecord(rb), 0);
    ASSERT_EQ(ca->GetCurRecord(ra, true), 0);
    ASSERT_EQ(cb->GetCurRecord(rb, true), 0);
    pa.Set(ra, {"Ann", 1, 31});
    ca->ModifyRecord(ra);
    pb.Set(rb, {"Ann", 1, 32});
    EXPECT_EQ(ErrorOf([&] { cb->ModifyRecord(rb); }), DEZEDE_KEYORRECDELETED);
    EXPECT_TRUE(B->Directories().front()->Tables().front()->Locking().RecordLocks().empty()) << "no lock left";

    // Read again, the edit goes through.
    cb->Refresh();
    ASSERT_EQ(cb->GetCurRecord(rb), 0);
    EXPECT_EQ(pb.Of(rb).Age, 31);
    ASSERT_EQ(cb->GetCurRecord(rb, true), 0);
    pb.Set(rb, {"Ann", 1, 32});
    cb->ModifyRecord(rb);
    ca->Refresh();
    EXPECT_EQ(pa.All(), (std::vector<TPerson>{{"Ann", 1, 32}}));
}

TEST_F(Cursor, DeletingARecordAnotherSessionChangedFailsWithEitherProtocol) {
    for (TLockProtocol protocol : {lpPessimistic, lpOptimistic}) {
        SCOPED_TRACE(protocol);
        A->SetLockProtocol(protocol);
        B->SetLockProtocol(protocol);
        auto ca = Open(DirA);
        TPeople pa(*ca);
        const int32_t code = 10 + protocol;
        pa.Append({"Del", code, 1});
        auto cb = Open(DirB);
        TPeople pb(*cb);
        std::vector<uint8_t> ra, rb;
        ASSERT_TRUE(pa.Goto(code, ra));
        ASSERT_TRUE(pb.Goto(code, rb));
        ASSERT_EQ(cb->GetCurRecord(rb, true), 0);
        pb.Set(rb, {"Del", code, 2});
        cb->ModifyRecord(rb);
        EXPECT_EQ(ErrorOf([&] { ca->DeleteRecord(ra); }), DEZEDE_KEYORRECDELETED);
        ASSERT_TRUE(pa.Goto(code, ra)) << "the record is still there";
        EXPECT_EQ(pa.Of(ra).Age, 2);
        ca->DeleteRecord(ra);  // read afresh, it goes
        cb->Refresh();
        EXPECT_FALSE(pb.Goto(code, rb));
        EXPECT_EQ(ErrorOf([&] { ca->LockTable(); ca->UnlockTable(); }), 0) << "no record lock left";
    }
}

TEST_F(Cursor, PessimisticEditHoldsTheRecordLockUntilPosted) {
    auto ca = Open(DirA);
    TPeople pa(*ca);
    pa.Append({"Lock", 1, 1});
    auto cb = Open(DirB);
    TPeople pb(*cb);
    std::vector<uint8_t> ra, rb;
    ASSERT_TRUE(pa.Goto(1, ra));
    ASSERT_TRUE(pb.Goto(1, rb));
    ASSERT_EQ(ca->GetCurRecord(ra, true), 0);
    EXPECT_EQ(ErrorOf([&] { cb->GetCurRecord(rb, true); }), DEZEDE_RECLOCKFAILED);
    ca->CancelRecord();
    ASSERT_EQ(cb->GetCurRecord(rb, true), 0);
    pb.Set(rb, {"Lock", 1, 2});
    cb->ModifyRecord(rb);
    EXPECT_EQ(ErrorOf([&] { ca->GetCurRecord(ra, true); }), DEZEDE_KEYORRECDELETED) << "stale image";
}

TEST_F(Cursor, AWalkInFileOrderReadsAheadAndASearchReadsOneRecord) {
    {
        auto c = Open(DirA);
        TPeople people(*c);
        DirA->StartTransaction({"People"});
        for (int i = 1; i <= 400; ++i) people.Append({"W", i, 0});
        DirA->Commit(false, true);
    }
    TCursorOpenOptions order;
    order.RecordNumberOrder = true;
    auto c = Open(DirB, order);
    const TCacheStatistics& stats = c->Table()->DataFile()->Statistics();
    const uint64_t before = stats.ReadCalls;
    EXPECT_EQ(TPeople(*c).All().size(), 400u);
    EXPECT_LT(stats.ReadCalls - before, 40u);
    c->CloseCursor();
    c = Open(DirB);
    std::vector<uint8_t> r;
    const uint64_t start = c->Table()->DataFile()->Statistics().BytesRead;
    ASSERT_TRUE(TPeople(*c).Goto(200, r));
    EXPECT_EQ(c->Table()->DataFile()->Statistics().BytesRead - start, c->RecordSize());
}

TEST_F(Cursor, AModifyLeavingEveryKeyUnchangedTouchesNoIndexPage) {
    auto c = Open(DirA);
    TPeople people(*c);
    for (int i = 1; i <= 50; ++i) people.Append({"P" + std::to_string(i), i, i});
    TIndexFile& index = *c->Table()->IndexFile();
    std::vector<uint8_t> r;
    ASSERT_TRUE(people.Goto(25, r));
    const int32_t indexCounter = index.Header().ChangeCounter;
    const uint64_t indexWrites = index.Statistics().WriteCalls;
    const int32_t dataCounter = c->Table()->DataFile()->Header().ChangeCounter;
    people.Set(r, {"P25", 25, 99});
    c->ModifyRecord(r);
    EXPECT_EQ(index.Header().ChangeCounter, indexCounter);
    EXPECT_EQ(index.Statistics().WriteCalls, indexWrites);
    EXPECT_NE(c->Table()->DataFile()->Header().ChangeCounter, dataCounter);

    ASSERT_TRUE(people.Goto(25, r));
    people.Set(r, {"Q25", 25, 99});
    c->ModifyRecord(r);
    EXPECT_NE(index.Header().ChangeCounter, indexCounter) << "a changed key is written";
    c->SetIndexName("byname");
    EXPECT_EQ(people.All().back(), (TPerson{"Q25", 25, 99}));
}

TEST_F(Cursor, InsertErrorEventDecidesRetryAbortOrFail) {
    struct TCase {
        TDataAction Action;
        uint16_t Raised;
        int Triggers;  // before-insert triggers fired
        bool Appended;
    };
    const TCase cases[] = {
        {TDataAction::daRetry, 0, 2, true},
        {TDataAction::daAbort, 0, 1, false},
        {TDataAction::daFail, DEZEDE_KEYVIOL, 1, false},
    };
    auto c = Open(DirA);
    auto other = Open(DirA);
    TPeople people(*c), others(*other);
    int code = 100;
    for (const TCase& t : cases) {
        ++code;
        others.Append({"Old", code, 0});
        int triggers = 0;
        Engine.Hooks.BeforeInsertTrigger = [&](TTriggerContext& ctx) {
            ++triggers;
            EXPECT_EQ(ctx.Cursor, c.get());
            EXPECT_EQ(ctx.NewRecord.size(), c->RecordSize());
        };
        Engine.Hooks.OnInsertError = [&](TTriggerContext&, const EDEZEDEEngineError& e, TDataAction& action) {
            EXPECT_EQ(e.ErrorCode, DEZEDE_KEYVIOL);
            if (t.Action == TDataAction::daRetry) others.DeleteCode(code);  // fix the cause
            action = t.Action;
        };
        EXPECT_EQ(ErrorOf([&] { people.Append({"New", code, 1}); }), t.Raised);
        EXPECT_EQ(triggers, t.Triggers);
        std::vector<uint8_t> r;
        ASSERT_TRUE(people.Goto(code, r));
        EXPECT_EQ(people.Of(r).Name, t.Appended ? "New" : "Old");
        Engine.Hooks = {};
    }
    // A handler that always asks again is not obeyed for ever.
    int asked = 0;
    Engine.Hooks.OnInsertError = [&](TTriggerContext&, const EDEZEDEEngineError&, TDataAction& action) {
        ++asked;
        action = TDataAction::daRetry;
    };
    others.Append({"Old", ++code, 0});
    EXPECT_EQ(ErrorOf([&] { people.Append({"New", code, 1}); }), DEZEDE_KEYVIOL);
    EXPECT_GT(asked, 1);
    Engine.Hooks = {};
}

// A write failing half way (here a duplicate key met only while the keys go
// in) leaves neither the record nor any of its keys behind.
TEST_F(Cursor, AnEditFailingHalfWayLeavesTheTableAsItWas) {
    auto c = Open(DirA);
    TPeople people(*c);
    people.Append({"One", 1, 0});
    const int32_t counter = c->Table()->DataFile()->Header().ChangeCounter;
    EXPECT_EQ(ErrorOf([&] { c->AppendRecord(people.Image({"Two", 1, 0}), true, true); }), DEZEDE_KEYVIOL);
    EXPECT_EQ(c->Table()->DataFile()->Header().ChangeCounter, counter) << "nothing written";
    EXPECT_EQ(c->RecordCount(), 1u);
    people.Append({"Two", 2, 0});
    auto d = Open(DirB);
    TPeople other(*d);
    for (const char* index : {"", "ByName", "ByCode"}) {
        d->SetIndexName(index);
        EXPECT_EQ(other.All(), (std::vector<TPerson>{{"One", 1, 0}, {"Two", 2, 0}})) << index;
    }
}

TEST_F(Cursor, EditsInsideATransactionAreWrittenAtCommitOrForgotten) {
    auto c = Open(DirA);
    TPeople people(*c);
    DirA->StartTransaction({"People"});
    people.Append({"T", 1, 0});
    people.Append({"T", 2, 0});
    EXPECT_EQ(c->RecordCount(), 2u);
    DirA->Rollback();
    c->Refresh();
    EXPECT_TRUE(people.All().empty());
    DirA->StartTransaction({"People"});
    people.Append({"T", 3, 0});
    std::vector<uint8_t> r;
    ASSERT_TRUE(people.Goto(3, r));
    ASSERT_EQ(c->GetCurRecord(r, true), 0);
    people.Set(r, {"U", 3, 1});
    c->ModifyRecord(r);
    DirA->Commit(false, true);
    auto d = Open(DirB);
    EXPECT_EQ(TPeople(*d).All(), (std::vector<TPerson>{{"U", 3, 1}}));
    c.reset();

    // A cursor told to stay out of a full transaction writes through at once.
    DirA->StartTransaction({});
    TCursorOpenOptions outside;
    outside.OutsideTransaction = true;
    auto o = Open(DirA, outside);
    EXPECT_FALSE(o->Table()->InTransaction());
    TPeople(*o).Append({"V", 4, 0});
    d->Refresh();
    EXPECT_EQ(d->RecordCount(), 2u);
    DirA->Rollback();
}

TEST_F(Cursor, LocateAndFind) {
    auto c = Open(DirA);
    TPeople people(*c);
    people.Append({"ann", 1, 40});
    people.Append({"Bob", 2, 30});
    people.Append({"bob", 3, 30});
    people.Append({"Cid", 4, 20});
    std::vector<uint8_t> r(c->RecordSize());
    const int16_t name = 1, age = 3;
    auto locate = [&](int16_t field, const TPerson& values, bool ci, int partial = 0) {
        const bool found = c->Locate(std::span<const int16_t>(&field, 1), people.Image(values), ci, partial, r);
        return found ? people.Of(r).Code : 0;
    };
    EXPECT_EQ(locate(name, {"BOB"}, true), 2) << "by the case-insensitive index: first key";
    EXPECT_EQ(c->CurrentIndex(), 0) << "back in its own index";
    ASSERT_EQ(c->GetNextRecord(r), 0);
    EXPECT_EQ(people.Of(r).Code, 3) << "and on the record found";
    EXPECT_EQ(locate(name, {"bob"}, false), 3) << "case-sensitive: no index, a scan";
    EXPECT_EQ(locate(name, {"B"}, true, 1), 2) << "partial";
    EXPECT_EQ(locate(age, {"", 0, 30}, false), 2) << "no index: first in the cursor's order";
    EXPECT_EQ(locate(age, {"", 0, 99}, false), 0);
    ASSERT_EQ(c->GetCurRecord(r), 0);
    EXPECT_EQ(people.Of(r).Code, 2) << "nothing found leaves the cursor where it was";
    EXPECT_EQ(locate(name, {"zed"}, true), 0);
    ASSERT_EQ(c->GetCurRecord(r), 0);
    EXPECT_EQ(people.Of(r).Code, 2);

    c->SetIndexName("BYCODE");
    EXPECT_TRUE(c->Find(people.Image({"", 3}), false, 0, false, 0, r));
    EXPECT_EQ(people.Of(r).Code, 3);
    EXPECT_FALSE(c->Find(people.Image({"", 9}), false, 0, false));
    ASSERT_EQ(c->GetCurRecord(r), 0);
    EXPECT_EQ(people.Of(r).Code, 3) << "a failed exact search stays";
    EXPECT_FALSE(c->Find(people.Image({"", 0}), false, 0, true));
    ASSERT_EQ(c->GetCurRecord(r), 0);
    EXPECT_EQ(people.Of(r).Code, 1) << "nearest";
    EXPECT_EQ(c->LogicalRecordNumber(), 1u);
    EXPECT_TRUE(c->SetToRecNo(3));
    ASSERT_EQ(c->GetCurRecord(r), 0);
    EXPECT_EQ(people.Of(r).Code, 3);
    const std::vector<uint8_t> mark = c->GetBookmark();
    c->SetToBegin();
    EXPECT_TRUE(c->SetToBookmark(mark));
    EXPECT_EQ(c->CurrentRecordNumber(), 3u);
    auto d = Open(DirA);
    d->SetIndexName("ByName");
    d->SetToCursor(*c);
    ASSERT_EQ(d->GetCurRecord(r), 0);
    EXPECT_EQ(people.Of(r).Code, 3);
    ASSERT_EQ(d->GetPriorRecord(r), 0);
    EXPECT_EQ(people.Of(r).Code, 2) << "Bob before bob in the name order";
}

TEST_F(Cursor, AnExclusiveCursorTakesNoLocksAndKeepsOthersOut) {
    TCursorOpenOptions exclusive;
    exclusive.Exclusive = true;
    auto c = Open(DirA, exclusive);
    TPeople people(*c);
    people.Append({"X", 1, 0});
    std::vector<uint8_t> r;
    ASSERT_TRUE(people.Goto(1, r));
    ASSERT_EQ(c->GetCurRecord(r, true), 0);
    EXPECT_TRUE(c->Table()->Locking().RecordLocks().empty());
    people.Set(r, {"Y", 1, 0});
    c->ModifyRecord(r);
    EXPECT_EQ(ErrorOf([&] { Open(DirB); }), DEZEDE_OSEACCES);
    c->CloseCursor();
    EXPECT_EQ(TPeople(*Open(DirB)).All(), (std::vector<TPerson>{{"Y", 1, 0}}));
}

TEST_F(Cursor, RangeOnANonUniqueIndexCoversEveryDuplicate) {
    auto c = Open(DirA);
    TPeople people(*c);
    const char* names[] = {"a", "b", "c", "B", "b", "ba", "d", "b"};
    for (int i = 0; i < 8; ++i) people.Append({names[i], i + 1, 0});
    c->SetIndexName("ByName");
    for (int fields : {1, 0}) {
        c->SetRange(people.Image({"b"}), fields, people.Image({"B"}), fields);
        EXPECT_EQ(c->RecordCount(), 4u);
        std::vector<int32_t> codes;
        for (const TPerson& p : people.All()) codes.push_back(p.Code);
        EXPECT_EQ(codes, (std::vector<int32_t>{2, 4, 5, 8}));
        c->ResetRange();
        EXPECT_EQ(c->RecordCount(), 8u);
    }
    c->SetRange(people.Image({"b"}), 1, people.Image({"b"}), 1);
    people.Append({"b", 9, 0});
    EXPECT_EQ(c->RecordCount(), 5u) << "a new duplicate falls into the range";
    people.Append({"e", 10, 0});
    EXPECT_EQ(c->RecordCount(), 5u);
}

TEST_F(Cursor, CallbackFilterDrivesNavigationAndCounts) {
    auto c = Open(DirA);
    TPeople people(*c);
    for (int i = 1; i <= 20; ++i) people.Append({"F", i, 0});
    c->SetIndexName("ByCode");
    TFilter* even = c->AddCallbackFilter(
        [&people](void*, void*, std::span<const uint8_t> record, uint32_t) { return people.Of(record).Code % 2 == 0; },
        nullptr);
    c->ActivateFilter(even);
    EXPECT_EQ(c->RecordCount(), 10u);
    std::vector<TPerson> all = people.All();
    ASSERT_EQ(all.size(), 10u);
    EXPECT_EQ(all.front().Code, 2);
    people.DeleteCode(4);
    EXPECT_EQ(c->RecordCount(), 9u);
    people.Append({"F", 22, 0});
    people.Append({"F", 23, 0});
    EXPECT_EQ(c->RecordCount(), 10u);
    c->SetIndexNo(kNoIndex);
    EXPECT_EQ(people.All().size(), 10u) << "record-number order steps over the filtered bits";
    c->DropFilter(even);
    EXPECT_EQ(c->RecordCount(), 21u);
    EXPECT_EQ(ErrorOf([&] { c->DropFilter(even); }), DEZEDE_NOSUCHFILTER);
}

// Another cursor's changes make a cursor evaluate its filters afresh, except
// in statement-update mode and for counters taken as seen.
TEST_F(Cursor, StatementUpdateModeAndRememberedCountersSkipTheResynchronisation) {
    auto c = Open(DirA);
    auto writer = Open(DirA);
    TPeople people(*c), others(*writer);
    for (int i = 1; i <= 4; ++i) people.Append({"S", i, 0});
    TFilter* all = c->AddCallbackFilter([](void*, void*, std::span<const uint8_t>, uint32_t) { return true; }, nullptr);
    c->ActivateFilter(all);
    EXPECT_EQ(c->RecordCount(), 4u);
    others.Append({"S", 5, 0});
    EXPECT_EQ(c->RecordCount(), 5u) << "resynchronised";
    c->SetStatementUpdateMode(true);
    others.Append({"S", 6, 0});
    EXPECT_EQ(c->RecordCount(), 5u);
    c->RememberCounters();
    c->SetStatementUpdateMode(false);
    EXPECT_EQ(c->RecordCount(), 5u) << "the counters were taken as seen";
    others.Append({"S", 7, 0});
    EXPECT_EQ(c->RecordCount(), 7u);
    uint64_t files = 0;
    for (const char* ext : {".dat", ".idx", ".blb"}) files += std::filesystem::file_size(Dir.File(std::string("People") + ext));
    EXPECT_EQ(c->TableSize(), files);
}

TEST_F(Cursor, BlobValuesAreStoredWithTheRecord) {
    auto c = Open(DirA);
    TPeople people(*c);
    std::vector<uint8_t> r = people.Image({"Memo", 1, 0});
    const std::string text(3000, 'x');
    c->OpenBlob(4, r, TCursorBlobMode::bmReadWrite);
    c->PutBlob(4, r, 0, static_cast<uint32_t>(text.size()), reinterpret_cast<const uint8_t*>(text.data()));
    c->AppendRecord(r);
    c->FreeBlob(4, r);
    auto d = Open(DirB);
    std::vector<uint8_t> back(d->RecordSize());
    d->SetToBegin();
    ASSERT_EQ(d->GetNextRecord(back), 0);
    ASSERT_EQ(d->OpenBlob(4, back, TCursorBlobMode::bmRead), text.size());
    std::string got(text.size(), 0);
    EXPECT_EQ(d->GetBlob(4, back, 0, 5000, reinterpret_cast<uint8_t*>(got.data())), text.size());
    EXPECT_EQ(got, text);
    d->FreeAllBlobs();
}

// Change detection against another process: without strict detection the
// cursor notices only when it takes a lock (or reads a buffer from disk);
// with it, at its next call.
TEST_F(Cursor, ChangesOfAnotherProcessAreSeenAsTheSettingSays) {
    for (bool strict : {false, true}) {
        SCOPED_TRACE(strict);
        A->SetStrictChangeDetection(strict);
        TCursorOpenOptions order;
        order.RecordNumberOrder = true;
        auto c = Open(DirA, order);
        TPeople people(*c);
        const uint32_t before = c->RecordCount();
        THelperProcess helper(std::string(DEZEDE_HELPER_DIR) + "/cursor_helper");
        ASSERT_EQ(helper.Ask("open " + Dir.Path()), "ok");
        ASSERT_EQ(helper.Ask("append Other " + std::to_string(strict ? 501 : 500)), "ok");
        EXPECT_EQ(c->RecordCount(), strict ? before + 1 : before);
        c->LockTable();
        c->UnlockTable();
        EXPECT_EQ(c->RecordCount(), before + 1);
        EXPECT_EQ(people.All().back().Code, strict ? 501 : 500);
        ASSERT_EQ(helper.Ask("quit"), "");
    }
}

// Appends, modifies and deletes at random against a model; the contents and
// the order of every index are checked along the way.
int RandomOps() {
    if (const char* env = std::getenv("DEZEDE_CURSOR_OPS")) return std::max(100, std::atoi(env));
#if defined(__SANITIZE_ADDRESS__)
    return 1500;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return 1500;
#endif
#endif
    return 6000;
}

TEST_F(Cursor, RandomisedEditsMatchAModel) {
    auto c = Open(DirA);
    TPeople people(*c);
    struct TModel {
        TPerson P;
        int32_t Id;
    };
    std::map<int32_t, TModel> model;  // by code
    int32_t nextId = 0;
    std::mt19937 random(20261211);
    auto pick = [&]() -> int32_t {
        auto it = model.begin();
        std::advance(it, static_cast<long>(random() % model.size()));
        return it->first;
    };
    auto name = [&] { return std::string(1, static_cast<char>('a' + random() % 5)) + std::to_string(random() % 3); };
    auto check = [&] {
        struct TOrder {
            const char* Index;
            std::function<bool(const TModel&, const TModel&)> Less;
        };
        const TOrder orders[] = {
            {"", [](const TModel& a, const TModel& b) { return a.Id < b.Id; }},
            {"ByName", [](const TModel& a, const TModel& b) { return std::tie(a.P.Name, a.Id) < std::tie(b.P.Name, b.Id); }},
            {"ByCode", [](const TModel& a, const TModel& b) { return a.P.Code < b.P.Code; }},
        };
        for (const TOrder& o : orders) {
            std::vector<TModel> expected;
            for (const auto& [code, m] : model) expected.push_back(m);
            std::sort(expected.begin(), expected.end(), o.Less);
            c->SetIndexName(o.Index);
            const std::vector<TPerson> got = people.All();
            ASSERT_EQ(got.size(), expected.size()) << o.Index;
            for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], expected[i].P) << o.Index << " at " << i;
            ASSERT_EQ(c->RecordCount(), expected.size());
        }
        c->SetIndexName("ByCode");
    };
    c->SetIndexName("ByCode");
    const int ops = RandomOps();
    std::vector<uint8_t> r;
    for (int op = 0; op < ops; ++op) {
        const uint32_t kind = random() % 4;
        if (kind < 2 || model.empty()) {
            const int32_t code = static_cast<int32_t>(random() % static_cast<uint32_t>(ops));
            const TPerson p{name(), code, static_cast<int32_t>(random() % 100)};
            const uint16_t error = ErrorOf([&] { people.Append(p); });
            if (model.count(code)) {
                ASSERT_EQ(error, DEZEDE_KEYVIOL);
            } else {
                ASSERT_EQ(error, 0);
                model[code] = {p, ++nextId};
            }
        } else if (kind == 2) {
            const int32_t code = pick();
            ASSERT_TRUE(people.Goto(code, r));
            ASSERT_EQ(c->GetCurRecord(r, true), 0);
            TPerson p = model[code].P;
            p.Name = random() % 2 ? name() : p.Name;
            p.Age = static_cast<int32_t>(random() % 100);
            const int32_t newCode = random() % 3 == 0 ? static_cast<int32_t>(random() % static_cast<uint32_t>(ops)) : code;
            p.Code = newCode;
            people.Set(r, p);
            const uint16_t error = ErrorOf([&] { c->ModifyRecord(r); });
            if (newCode != code && model.count(newCode)) {
                ASSERT_EQ(error, DEZEDE_KEYVIOL);
                c->CancelRecord();
            } else {
                ASSERT_EQ(error, 0);
                const int32_t id = model[code].Id;
                model.erase(code);
                model[newCode] = {p, id};
            }
        } else {
            const int32_t code = pick();
            people.DeleteCode(code);
            model.erase(code);
        }
        if (op % 500 == 499) check();
    }
    check();
    EXPECT_EQ(c->Table()->DataFile()->Header().RecordCount, model.size());
}

}  // namespace
}  // namespace dezede::test
