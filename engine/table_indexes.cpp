#include "engine/table_indexes.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "engine/data_file.h"
#include "engine/error_codes.h"
#include "engine/error_context.h"
#include "engine/index_file.h"
#include "engine/index_slot.h"
#include "support/endian.h"
#include "support/locales.h"

namespace dezede {

struct TTableIndexes::TEntry {
    size_t Slot = 0;
    TIndexDescriptor Desc;
    TKeyLayout Layout;
    std::unique_ptr<TIndexSlot> Index;
    // Scratch keys of KeySize bytes, so that the upkeep allocates nothing per record.
    std::vector<uint8_t> Key, Old;
    // The unique check's search for Key, which the insert that follows may use
    // while the tree has not changed since.
    TIndexPath Checked;
    uint64_t CheckedAt = UINT64_MAX;
};

namespace {

// The characters that sort first and last among single characters in a locale's string order
// (case-sensitive, as keys compare). NUL ends a text and so is the lowest of all.
struct TStringFill {
    char Lowest = 0;
    char Highest = '\xff';
};

TStringFill StringFillOf(uint32_t locale) {
    if (locale == kAnsiStandardLocale) return {};
    static std::mutex mutex;
    static std::map<uint32_t, TStringFill> known;
    std::lock_guard lock(mutex);
    if (auto it = known.find(locale); it != known.end()) return it->second;
    TStringFill fill{0, 1};
    for (int c = 1; c < 256; ++c) {
        const char ch = static_cast<char>(c);
        if (CompareChars(locale, ch, fill.Lowest, false) < 0) fill.Lowest = ch;
        if (CompareChars(locale, ch, fill.Highest, false) > 0) fill.Highest = ch;
    }
    known.emplace(locale, fill);
    return fill;
}

int32_t RecordIdOf(std::span<const uint8_t> record, const std::string& table) {
    if (record.size() < kRecordDataOffset) RaiseError(DEZEDE_INVALIDKEY, {.Table = table});
    return static_cast<int32_t>(LoadLE32(record.data() + kRecordIDOffset));
}

std::string StringFieldText(const TFieldDescriptor& f, std::span<const uint8_t> record) {
    std::vector<uint8_t> value(f.StorageSize);
    if (GetFieldValue(f, record, value)) return {};
    const auto end = std::find(value.begin(), value.end(), uint8_t{0});
    return std::string(value.begin(), end);
}

}  // namespace

TTableIndexes::TTableIndexes(TDataFile& data, TIndexFile& index, const TEngineHooks* hooks)
    : Data_(data), Index_(index), Hooks_(hooks) {
    Reload();
}

TTableIndexes::~TTableIndexes() = default;

void TTableIndexes::Reload() {
    // Built aside and taken over only when every descriptor is sound.
    const uint32_t locale = Data_.Header().Locale;
    const std::vector<TFieldDescriptor>& fields = Data_.Fields();
    const std::string table = Data_.TableName();
    auto corrupt = [&](const std::string& name) { RaiseError(DEZEDE_HEADERCORRUPT, {.Table = table, .Index = name}); };
    std::vector<std::unique_ptr<TEntry>> indexes;
    for (size_t slot = kPrimaryIndexSlot; slot <= kMaxSecondaryIndexes; ++slot) {
        const TIndexDescriptor& d = Index_.Index(slot);
        if (!d.Defined()) {
            if (slot == kPrimaryIndexSlot) corrupt(d.Name);
            continue;
        }
        if (d.FieldCount > kMaxIndexFields || ComputeKeySize(d, fields) != d.KeySize) corrupt(d.Name);
        auto e = std::make_unique<TEntry>();
        e->Slot = slot;
        e->Desc = d;
        e->Layout = MakeKeyLayout(d, false, fields, locale);
        e->Index = std::make_unique<TIndexSlot>(Index_, slot, fields, locale);
        e->Key.resize(d.KeySize);
        e->Old.resize(d.KeySize);
        indexes.push_back(std::move(e));
    }

    std::unique_ptr<TIndexSlot> fullText;
    std::vector<const TFieldDescriptor*> textFields;
    const TIndexDescriptor& text = Index_.Index(kFullTextIndexSlot);
    if (text.KeySize != 0 || text.Defined()) {  // else no full-text slot at all (a file not yet rebuilt)
        if (text.KeySize != kFullTextKeySize || text.FieldCount > kMaxIndexFields) corrupt(text.Name);
        for (size_t i = 0; i < text.FieldCount; ++i) {
            const TFieldDescriptor* f = FindKeyField(fields, text.FieldNumbers[i]);
            if (!f || f->IsPseudo() || !(f->IsString() || (f->IsBlob() && f->SubType == fsdMemo))) corrupt(text.Name);
            textFields.push_back(f);
        }
        fullText = std::make_unique<TIndexSlot>(Index_, kFullTextIndexSlot, fields, locale);
    }

    const TStringFill fill = StringFillOf(locale);
    Locale_ = locale;
    LowestChar_ = fill.Lowest;
    HighestChar_ = fill.Highest;
    Indexes_ = std::move(indexes);
    FullText_ = std::move(fullText);
    TextFields_ = std::move(textFields);
    Settings_.reset();
}

const TTableIndexes::TEntry& TTableIndexes::At(int indexNo) const {
    if (indexNo < 0 || indexNo >= Count()) RaiseError(DEZEDE_INVALIDINDEXNAME, {.Table = Data_.TableName()});
    return *Indexes_[static_cast<size_t>(indexNo)];
}

const TIndexDescriptor& TTableIndexes::Descriptor(int indexNo) const { return At(indexNo).Desc; }
size_t TTableIndexes::Slot(int indexNo) const { return At(indexNo).Slot; }
TIndexTree& TTableIndexes::Tree(int indexNo) { return At(indexNo).Index->Tree(); }
const TKeyLayout& TTableIndexes::Layout(int indexNo) const { return At(indexNo).Layout; }
uint16_t TTableIndexes::KeySize(int indexNo) const { return At(indexNo).Desc.KeySize; }
int TTableIndexes::FieldCount(int indexNo) const { return At(indexNo).Desc.FieldCount; }
bool TTableIndexes::Unique(int indexNo) const { return At(indexNo).Desc.Unique; }

int TTableIndexes::FindIndex(std::string_view name) const {
    for (int i = 0; i < Count(); ++i)
        if (CompareStrings(kAnsiStandardLocale, Indexes_[static_cast<size_t>(i)]->Desc.Name, name, true) == 0) return i;
    return -1;
}

int TTableIndexes::Compare(int indexNo, const uint8_t* a, const uint8_t* b, size_t length) const {
    return CompareKeys(At(indexNo).Layout, {a, length}, {b, length}, length);
}

void TTableIndexes::BuildKey(int indexNo, std::span<const uint8_t> record, std::span<uint8_t> key) const {
    const TEntry& e = At(indexNo);
    if (key.size() < e.Desc.KeySize) RaiseError(DEZEDE_INVALIDKEY, {.Table = Data_.TableName(), .Index = e.Desc.Name});
    BuildRecordKey(e.Desc, Data_.Fields(), Locale_, record, key);
}

size_t TTableIndexes::PrefixLength(int indexNo, int fieldCount) const {
    const TEntry& e = At(indexNo);
    if (fieldCount <= 0) return 0;
    if (static_cast<size_t>(fieldCount) >= e.Layout.Fields.size()) return e.Desc.KeySize;
    size_t length = 0;
    for (size_t i = 0; i < static_cast<size_t>(fieldCount); ++i) length += size_t{1} + e.Layout.Fields[i].KeySize;
    return length;
}

void TTableIndexes::FillKey(int indexNo, std::span<uint8_t> key, size_t from, bool highest) const {
    const TEntry& e = At(indexNo);
    const size_t end = key.size();
    size_t pos = 0;
    for (const TKeyField& k : e.Layout.Fields) {
        const size_t fieldEnd = pos + 1 + k.KeySize;
        const bool high = k.Descending ? !highest : highest;
        for (size_t p = std::max(pos, from); p < std::min(fieldEnd, end); ++p) {
            if (p == pos || k.Type != ftdString)
                key[p] = high ? 0xFF : 0;
            else
                key[p] = static_cast<uint8_t>(high ? HighestChar_ : LowestChar_);
        }
        pos = fieldEnd;
    }
    // The record-ID suffix of a non-unique index always ascends.
    for (size_t p = std::max(pos, from); p < end; ++p) key[p] = highest ? 0xFF : 0;
}

void TTableIndexes::KeyViolation(const TEntry& e) const {
    RaiseError(DEZEDE_KEYVIOL, {.Table = Data_.TableName(), .Index = e.Desc.Name});
}

void TTableIndexes::CheckUniqueKeys(std::span<const uint8_t> newRecord, const uint8_t* oldRecord) const {
    for (const auto& e : Indexes_) {
        if (!e->Desc.Unique) continue;
        std::vector<uint8_t>& key = e->Key;
        BuildRecordKey(e->Desc, Data_.Fields(), Locale_, newRecord, key);
        if (oldRecord) {
            std::vector<uint8_t>& old = e->Old;
            BuildRecordKey(e->Desc, Data_.Fields(), Locale_, {oldRecord, newRecord.size()}, old);
            // A key that compares equal is the record's own.
            if (CompareKeys(e->Layout, old, key, key.size()) == 0) continue;
        }
        e->CheckedAt = UINT64_MAX;
        TIndexTree& tree = e->Index->Tree();
        if (tree.Locate(key.data(), e->Checked)) KeyViolation(*e);
        e->CheckedAt = tree.ChangeCount();
    }
}

void TTableIndexes::InsertKeys(std::span<const uint8_t> record, uint32_t recNo, const TTextOf& text,
                               bool afterCheck) {
    for (size_t i = 0; i < Indexes_.size(); ++i) {
        TEntry& e = *Indexes_[i];
        TIndexTree& tree = e.Index->Tree();
        // The unique check built the same key into e.Key; a key that differs
        // now (the record changed in between) is searched afresh.
        const bool checked = afterCheck && e.CheckedAt == tree.ChangeCount();
        if (checked) e.Old = e.Key;
        BuildRecordKey(e.Desc, Data_.Fields(), Locale_, record, e.Key);
        const bool reuse = checked && e.Old == e.Key;
        e.CheckedAt = UINT64_MAX;
        if (!(reuse ? tree.Insert(e.Key.data(), recNo, e.Checked) : tree.Insert(e.Key.data(), recNo))) {
            for (size_t j = i; j-- > 0;) Indexes_[j]->Index->Tree().Delete(Indexes_[j]->Key.data());
            KeyViolation(e);
        }
    }
    UpdateText({}, nullptr, record, &text, recNo);
}

void TTableIndexes::UpdateKeys(std::span<const uint8_t> oldRecord, std::span<const uint8_t> newRecord,
                               uint32_t recNo, const TTextOf& oldText, const TTextOf& newText) {
    // Indexes changed so far (their keys stay in their scratch buffers) and whether the old key
    // was there to take out.
    std::vector<std::pair<size_t, bool>> done;
    for (size_t i = 0; i < Indexes_.size(); ++i) {
        TEntry& e = *Indexes_[i];
        BuildRecordKey(e.Desc, Data_.Fields(), Locale_, oldRecord, e.Old);
        BuildRecordKey(e.Desc, Data_.Fields(), Locale_, newRecord, e.Key);
        if (e.Old == e.Key) continue;
        TIndexTree& tree = e.Index->Tree();
        const bool hadOld = tree.Delete(e.Old.data());
        if (!tree.Insert(e.Key.data(), recNo)) {
            // Put back what this update changed so far, then report the duplicate.
            if (hadOld) tree.Insert(e.Old.data(), recNo);
            for (auto c = done.rbegin(); c != done.rend(); ++c) {
                TEntry& changed = *Indexes_[c->first];
                changed.Index->Tree().Delete(changed.Key.data());
                if (c->second) changed.Index->Tree().Insert(changed.Old.data(), recNo);
            }
            KeyViolation(e);
        }
        done.emplace_back(i, hadOld);
    }
    UpdateText(oldRecord, &oldText, newRecord, &newText, recNo);
}

void TTableIndexes::DeleteKeys(std::span<const uint8_t> record, uint32_t recNo, const TTextOf& text) {
    for (const auto& e : Indexes_) {
        BuildRecordKey(e->Desc, Data_.Fields(), Locale_, record, e->Key);
        e->Index->Tree().Delete(e->Key.data());
    }
    UpdateText(record, &text, {}, nullptr, recNo);
}

std::string TTableIndexes::TextOf(const TFieldDescriptor& f, std::span<const uint8_t> record,
                                  const TTextOf& text) const {
    std::string s;
    if (f.IsString())
        s = StringFieldText(f, record);
    else if (text)
        s = text(f, record);
    if (Hooks_ && Hooks_->OnTextIndexFilter) Hooks_->OnTextIndexFilter(Data_.TableName(), f.Name, s);
    return s;
}

void TTableIndexes::UpdateText(std::span<const uint8_t> oldRecord, const TTextOf* oldText,
                               std::span<const uint8_t> newRecord, const TTextOf* newText, uint32_t recNo) {
    if (TextFields_.empty()) return;
    const std::string table = Data_.TableName();
    const int32_t oldId = oldText ? RecordIdOf(oldRecord, table) : 0;
    const int32_t newId = newText ? RecordIdOf(newRecord, table) : 0;
    const TUpperCase upper = FullTextUpperCase(Locale_);
    TIndexTree& tree = FullText_->Tree();
    for (const TFieldDescriptor* f : TextFields_) {
        const std::string before = oldText ? TextOf(*f, oldRecord, *oldText) : std::string();
        const std::string after = newText ? TextOf(*f, newRecord, *newText) : std::string();
        const bool idChanged = oldText && newText && oldId != newId;
        if (before == after && !idChanged) continue;
        TWordFilter keep;
        if (Hooks_ && Hooks_->OnTextIndexTokenFilter)
            keep = [this, f, &table](const std::string& word) {
                bool include = true;
                Hooks_->OnTextIndexTokenFilter(table, f->Name, word, include);
                return include;
            };
        const TFullTextSettings& settings = TextSettings();
        const auto number = static_cast<uint16_t>(f->FieldNumber);
        if (idChanged) {
            UpdateFullTextKeys(tree, settings, upper, number, oldId, recNo, before, "", keep);
            UpdateFullTextKeys(tree, settings, upper, number, newId, recNo, "", after, keep);
        } else {
            UpdateFullTextKeys(tree, settings, upper, number, oldText ? oldId : newId, recNo, before, after, keep);
        }
    }
}

const TFullTextSettings& TTableIndexes::TextSettings() {
    if (!Settings_) Settings_ = FullText_ ? ReadFullTextSettings(FullText_->Pages()) : TFullTextSettings{};
    return *Settings_;
}

void TTableIndexes::SetTextSettings(const TFullTextSettings& settings) {
    if (!FullText_) RaiseError(DEZEDE_HEADERCORRUPT, {.Table = Data_.TableName(), .Index = kFullTextIndexName});
    Settings_.reset();
    WriteFullTextSettings(FullText_->Pages(), settings);
    Settings_ = settings;
}

void RebuildRecreatedIndex(TDataFile& data, TIndexFile& index) {
    const std::vector<TFieldDescriptor>& fields = data.Fields();
    index.SetPrimaryIndex(DefaultPrimaryIndex(), fields);
    index.SetSecondaryIndex(kFullTextIndexSlot, FullTextIndex({}));
    TIndexSlot primary(index, kPrimaryIndexSlot, fields, data.Header().Locale);
    std::vector<uint8_t> record(data.Header().RecordSize);
    std::vector<uint8_t> key(index.Index(kPrimaryIndexSlot).KeySize);
    const uint32_t next = data.Header().NextRecordNumber;
    for (uint32_t n = 1; n < next; ++n) {
        data.ReadRecord(n, record);
        if (record.empty() || record[0] != kRecordActive) continue;
        BuildRecordKey(index.Index(kPrimaryIndexSlot), fields, data.Header().Locale, record, key);
        // Two active records with one record ID: the data file is damaged.
        if (!primary.Tree().Insert(key.data(), n)) RaiseError(data.CorruptionCode(), {.Table = data.TableName()});
    }
}

}  // namespace dezede
