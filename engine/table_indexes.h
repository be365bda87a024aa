#pragma once
// TTableIndexes: the indexes of one open table as its cursors use them. They are numbered as
// cursors number them: 0 the primary index, 1 .. Count() - 1 the defined secondary indexes in
// slot order. The full-text index (slot 31) stands apart: it is kept by the key upkeep but has
// no number of its own.
//
// Besides the trees this holds what the cursor needs to work with keys: key building from a
// record image, comparison in the index's order (the table's locale, descending fields), the
// length of a leading part of a key, the fill of the rest of a partial key with the lowest or
// highest bytes of the index's order, the unique checks, and the upkeep of every index when a
// record is appended, modified or deleted.
//
// The object reads the descriptors when it is made and on Reload(); it holds no locks and
// writes nothing itself: its changes go into the index file's buffers, which the table writes.
// Like its cursor, it is used by one thread at a time (it keeps scratch keys).
//
//   TTableIndexes indexes(data, index, &hooks);
//   indexes.CheckUniqueKeys(record, nullptr);
//   indexes.InsertKeys(record, recNo, textOf);

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine_hooks.h"
#include "engine/field_types.h"
#include "engine/full_text.h"
#include "engine/index_file_format.h"
#include "engine/index_tree.h"

namespace dezede {

class TDataFile;
class TIndexFile;
class TIndexSlot;

class TTableIndexes {
public:
    // Reads the index descriptors of the file; hooks (optional) supply the text-index filters.
    // An undefined primary index (rebuild a recreated file first), an index whose key size does
    // not match its fields or that names no field raises DEZEDE_HEADERCORRUPT.
    TTableIndexes(TDataFile& data, TIndexFile& index, const TEngineHooks* hooks = nullptr);
    ~TTableIndexes();
    TTableIndexes(const TTableIndexes&) = delete;
    TTableIndexes& operator=(const TTableIndexes&) = delete;

    // Reads the descriptors again (after they changed) and forgets the full-text settings.
    void Reload();

    // --- The indexes in cursor numbering ---
    int Count() const { return static_cast<int>(Indexes_.size()); }
    const TIndexDescriptor& Descriptor(int indexNo) const;
    size_t Slot(int indexNo) const;
    TIndexTree& Tree(int indexNo);
    const TKeyLayout& Layout(int indexNo) const;
    uint16_t KeySize(int indexNo) const;
    // Key fields, without the record-ID suffix of a non-unique index.
    int FieldCount(int indexNo) const;
    bool Unique(int indexNo) const;
    // The index with the name (without regard to case; "" is the primary index), or -1.
    int FindIndex(std::string_view name) const;

    // --- Keys ---
    // Compares the first length bytes of two keys in the index's order: -1, 0 or 1.
    int Compare(int indexNo, const uint8_t* a, const uint8_t* b, size_t length) const;
    // The key of a record image (KeySize bytes into key).
    void BuildKey(int indexNo, std::span<const uint8_t> record, std::span<uint8_t> key) const;
    // Bytes taken by the first fieldCount key fields (presence bytes included); fieldCount
    // beyond the field count gives the whole key (with the record-ID suffix).
    size_t PrefixLength(int indexNo, int fieldCount) const;
    // Fills key bytes from `from` to the end with the lowest (or, with highest, the highest)
    // bytes of the index's order, so that every key beginning with key[0, from) lies between
    // the low and the high fill: 0 or 255 for presence bytes and non-string values, for string
    // text the characters that sort first and last in the table's locale, exchanged for
    // descending fields; the record-ID suffix of a non-unique index 0 or 255.
    void FillKey(int indexNo, std::span<uint8_t> key, size_t from, bool highest) const;

    // --- Upkeep ---
    // DEZEDE_KEYVIOL naming the table and the index for the first unique index (in index order)
    // that already holds the key of newRecord. With an old record (a modify) only the indexes
    // whose key changed are checked.
    void CheckUniqueKeys(std::span<const uint8_t> newRecord, const uint8_t* oldRecord) const;

    // The text of a BLOB memo field of the full-text index for a record: the caller's BLOB
    // buffers hold it. String fields are read from the record image; with no function a memo
    // counts as empty. The engine's text-index filter and token filter apply to every text.
    using TTextOf = std::function<std::string(const TFieldDescriptor&, std::span<const uint8_t> record)>;

    // Inserts the record's key into every index in index order and its words into the full-text
    // index. A key that an index already holds (a unique check skipped) raises DEZEDE_KEYVIOL
    // after the keys inserted so far are taken out again.
    // With afterCheck, CheckUniqueKeys ran on this record just before and no
    // index changed since: its searches are used instead of being repeated.
    void InsertKeys(std::span<const uint8_t> record, uint32_t recNo, const TTextOf& text = {},
                    bool afterCheck = false);
    // For every index whose key changed, removes the old key and inserts the new one; full-text
    // words only for the fields whose text changed. An unchanged record touches no index page.
    void UpdateKeys(std::span<const uint8_t> oldRecord, std::span<const uint8_t> newRecord, uint32_t recNo,
                    const TTextOf& oldText = {}, const TTextOf& newText = {});
    // Removes the record's key from every index and its words from the full-text index. A key
    // that is missing already is passed over (the record is gone either way).
    void DeleteKeys(std::span<const uint8_t> record, uint32_t recNo, const TTextOf& text = {});

    // --- The full-text index ---
    // Whether the table has full-text fields.
    bool HasFullText() const { return !TextFields_.empty(); }
    // Its settings (stop words, space and include characters), read on first use.
    const TFullTextSettings& TextSettings();
    // Replaces the settings and writes them onto the settings pages.
    void SetTextSettings(const TFullTextSettings& settings);

private:
    struct TEntry;
    const TEntry& At(int indexNo) const;
    std::string TextOf(const TFieldDescriptor& f, std::span<const uint8_t> record, const TTextOf& text) const;
    void UpdateText(std::span<const uint8_t> oldRecord, const TTextOf* oldText, std::span<const uint8_t> newRecord,
                    const TTextOf* newText, uint32_t recNo);
    [[noreturn]] void KeyViolation(const TEntry& e) const;

    TDataFile& Data_;
    TIndexFile& Index_;
    const TEngineHooks* Hooks_;
    uint32_t Locale_ = 0;
    std::vector<std::unique_ptr<TEntry>> Indexes_;
    std::unique_ptr<TIndexSlot> FullText_;  // slot 31, also when it has no fields (the settings)
    std::vector<const TFieldDescriptor*> TextFields_;
    std::optional<TFullTextSettings> Settings_;
    char LowestChar_ = 0;
    char HighestChar_ = '\xff';
};

// Rebuilds a recreated (empty) index file: slot 0 becomes the default unique primary index on
// the record ID, slot 31 the full-text slot "Sys Text" (key size 68, compression 3) without
// fields, so the table has one index; then the primary key of every active record goes in, in
// record-number order. The caller holds the table's write lock and writes the changes.
// Secondary indexes of the lost file are not restored (a repair is the way back).
void RebuildRecreatedIndex(TDataFile& data, TIndexFile& index);

}  // namespace dezede
