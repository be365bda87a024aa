#include "engine/data_file.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "engine/error_codes.h"
#include "engine/error_context.h"
#include "engine/field_value.h"
#include "engine/format_bytes.h"
#include "support/ansi_strings.h"

namespace dezede {

namespace {

// How often a read restarts after change detection found a change before it gives up.
constexpr int kChangeRetries = 8;
constexpr size_t kMaxPasswordLength = 128;

bool SameName(std::string_view a, std::string_view b) { return CompareAnsiStrings(a, b, true) == 0; }

}  // namespace

std::string TableNameOf(const std::string& fileName) {
    return std::filesystem::path(fileName).stem().string();
}

// --- TRecord ---

uint32_t TRecord::Link() const { return Size() >= 5 ? LoadLE32(Data() + 1) : 0; }

void TRecord::SetLink(uint32_t value) {
    if (Size() >= 5) StoreLE32(Data() + 1, value);
}

int32_t TRecord::RecordID() const { return Size() >= 9 ? LoadLE32s(Data() + kRecordIDOffset) : 0; }

TDigest TRecord::Hash() const {
    TDigest d{};
    if (Size() >= kRecordDataOffset) std::memcpy(d.data(), Data() + kRecordHashOffset, d.size());
    return d;
}

void TRecord::ReadImage(const uint8_t* image) {
    TBuffer::ReadImage(image);
    if (Size() >= 5 && Data()[0] != kRecordFree) SetLink(static_cast<uint32_t>(Number));
}

// --- TDataFile ---

TDataFile::TDataFile(TFileRegistry& registry, std::string fileName, bool inMemory)
    : TBufferedFile(registry, fileName, inMemory), TableName_(TableNameOf(fileName)) {}

void TDataFile::Fail(uint16_t code) const { RaiseError(code, {.Table = TableName_}); }

void TDataFile::OpenDataFile(const TPasswordSource& passwords) {
    Open();
    try {
        Header_ = {};
        Fields_.clear();
        Cipher_.reset();
        SetCipher({});
        ReadHeader();
        CheckOpenedHeader();
        if (Header_.Encrypted) CheckPassword(passwords);
        ReadFieldDescriptors();
        ResetStatistics();
    } catch (...) {
        Close();
        throw;
    }
}

void TDataFile::CheckOpenedHeader() {
    if (Header_.Version != kFormatVersion) Fail(Header_.Version < 7 ? DEZEDE_OLDVERSION : DEZEDE_BADSIGNATURE);
    if (Header_.Signature != SignatureDigest(Signature_) && Header_.Signature != SignatureDigest(kDefaultSignature))
        Fail(DEZEDE_BADSIGNATURE);
    if (Header_.FieldCount > kMaxFieldCount) Fail(DEZEDE_HEADERCORRUPT);
    // A header that could not describe any record is refused before anything
    // is read through it.
    const TDataHeader& h = Header_;
    if (h.FieldCount == 0 || h.RecordSize < kRecordDataOffset + 2 || h.RecordSize % 8 != 0 ||
        h.RecordSize > kMaxRecordSize || h.NextRecordNumber == 0 || h.NextRecordNumber > INT32_MAX ||
        h.FirstFreeRecord >= h.NextRecordNumber || h.BlobFieldCount > kMaxBlobFieldCount ||
        (h.BlobFieldCount > 0 && (h.BlobBlockSize < kMinBlobBlockSize || h.BlobBlockSize > kMaxBlobBlockSize)))
        Fail(DEZEDE_HEADERCORRUPT);
}

void TDataFile::CheckPassword(const TPasswordSource& passwords) {
    auto tryPassword = [&](const std::string& p) {
        if (!PasswordMatchesCheck(p, Header_.PasswordCheck.data())) return false;
        UseCipher(std::make_shared<const TTableCipher>(MD5Digest(p)));
        return true;
    };
    for (const std::string& p : passwords.Passwords)
        if (tryPassword(p)) return;
    if (passwords.Ask) {
        while (std::optional<std::string> p = passwords.Ask())
            if (tryPassword(*p)) return;
    }
    Fail(DEZEDE_NOTSUFFTABLERIGHTS);
}

void TDataFile::UseCipher(std::shared_ptr<const TTableCipher> cipher) {
    Cipher_ = std::move(cipher);
    if (!Cipher_) {
        SetCipher({});
        return;
    }
    std::shared_ptr<const TTableCipher> c = Cipher_;
    SetCipher({[c](uint8_t* p, size_t n) { c->Encrypt(p, n); }, [c](uint8_t* p, size_t n) { c->Decrypt(p, n); }});
}

void CheckTablePassword(std::string_view password, const std::string& table) {
    std::string_view trimmed = password;
    while (!trimmed.empty() && static_cast<uint8_t>(trimmed.front()) <= ' ') trimmed.remove_prefix(1);
    while (!trimmed.empty() && static_cast<uint8_t>(trimmed.back()) <= ' ') trimmed.remove_suffix(1);
    if (trimmed.empty() || password.size() > kMaxPasswordLength) RaiseError(DEZEDE_INVALIDPASSWORD, {.Table = table});
}

void TDataFile::SetPassword(std::string_view password) {
    CheckTablePassword(password, TableName_);
    Header_.Encrypted = true;
    Header_.PasswordCheck = PasswordCheckValue(password);
    UseCipher(std::make_shared<const TTableCipher>(MD5Digest(password)));
    HeaderDirty_ = true;
    DescriptorsDirty_ = true;
}

void TDataFile::CreateHeader() {
    Header_ = {};
    Header_.Version = kFormatVersion;
    Header_.Signature = SignatureDigest(Signature_);
    Header_.NextRecordNumber = 1;
    Fields_.clear();
    HeaderDirty_ = true;
}

void TDataFile::SetFieldDescriptors(std::vector<TFieldDescriptor> fields) {
    if (fields.empty() || fields.size() > kMaxFieldCount) Fail(DEZEDE_FLDLIMIT);
    TRecordLayout layout = ComputeRecordLayout(fields, TableName_);
    Fields_ = std::move(fields);
    Header_.RecordSize = layout.RecordSize;
    Header_.FieldCount = static_cast<uint16_t>(Fields_.size());
    Header_.BlobFieldCount = layout.BlobFieldCount;
    HeaderDirty_ = true;
    DescriptorsDirty_ = true;
}

void TDataFile::ReadHeader() {
    uint8_t image[kFileHeaderSize];
    ReadHeaderImage(image, sizeof image, false);
    Header_ = DecodeDataHeader(image);
    HeaderDirty_ = false;
}

bool TDataFile::WriteHeader(bool force) {
    if (!HeaderDirty_ && !force) return false;
    Header_.ChangeCounter = NextChangeCounter(Header_.ChangeCounter);
    Header_.LastUpdated = LocalDateTime() - kDateTimeDelta;
    Header_.ChangedFlag = HeaderDirty_ ? 1 : 0;
    uint8_t image[kFileHeaderSize];
    EncodeDataHeader(Header_, image);
    WriteHeaderImage(image, sizeof image, false);
    HeaderDirty_ = false;
    return true;
}

void TDataFile::MarkHeaderChanged() {
    Header_.ChangeCounter = NextChangeCounter(Header_.ChangeCounter);
    HeaderDirty_ = true;
}

bool TDataFile::HeaderChanged() {
    const int32_t before = Header_.ChangeCounter;
    ReadHeader();
    return Header_.ChangeCounter != before;
}

void TDataFile::UpdateHeader(const std::function<void(TDataHeader&)>& fn) {
    fn(Header_);
    HeaderDirty_ = true;
}

void TDataFile::VerifyHeader() { VerifyDataHeader(Header_, Fields_, GetFileSize(), TableName_); }

void TDataFile::ReadFieldDescriptors() {
    const size_t size = size_t{kFieldDescriptorSize} * Header_.FieldCount;
    std::vector<uint8_t> block(size);
    ReadImageAt(kFileHeaderSize, block.data(), size, true);
    std::vector<TFieldDescriptor> fields;
    fields.reserve(Header_.FieldCount);
    for (size_t i = 0; i < Header_.FieldCount; ++i)
        fields.push_back(DecodeFieldDescriptor(std::span<const uint8_t>(block).subspan(i * kFieldDescriptorSize,
                                                                                      kFieldDescriptorSize)));
    // Every stored field must lie inside the record with its own storage size:
    // the value accessors rely on it.
    for (const TFieldDescriptor& f : fields) {
        if (f.Computed) continue;
        if (f.StorageSize != StorageSize(f) || f.Offset < kRecordDataOffset ||
            uint32_t{f.Offset} + 1 + f.StorageSize > Header_.RecordSize)
            Fail(DEZEDE_HEADERCORRUPT);
    }
    Fields_ = std::move(fields);
    DescriptorsDirty_ = false;
}

bool TDataFile::WriteFieldDescriptors() {
    if (!DescriptorsDirty_) return false;
    const size_t size = size_t{kFieldDescriptorSize} * Fields_.size();
    std::vector<uint8_t> block(size);
    for (size_t i = 0; i < Fields_.size(); ++i)
        EncodeFieldDescriptor(Fields_[i], std::span<uint8_t>(block).subspan(i * kFieldDescriptorSize,
                                                                           kFieldDescriptorSize));
    WriteImageAt(kFileHeaderSize, block.data(), size, true);
    if (Table() && Table()->ForceBufferFlush()) FlushToDisk();
    if (Table()) Table()->MarkWritten();
    DescriptorsDirty_ = false;
    return true;
}

const TFieldDescriptor* TDataFile::FindField(int32_t number) const {
    if (number == kRecordIDField) return &RecordIDDescriptor();
    if (number == kRecordHashField) return &RecordHashDescriptor();
    for (const TFieldDescriptor& f : Fields_)
        if (f.FieldNumber == number) return &f;
    return nullptr;
}

const TFieldDescriptor* TDataFile::FindField(std::string_view name) const {
    if (SameName(name, RecordIDDescriptor().Name)) return &RecordIDDescriptor();
    if (SameName(name, RecordHashDescriptor().Name)) return &RecordHashDescriptor();
    for (const TFieldDescriptor& f : Fields_)
        if (SameName(f.Name, name)) return &f;
    return nullptr;
}

void TDataFile::UpdateFieldDescriptor(int32_t number, const TFieldDescriptor& f) {
    auto it = std::find_if(Fields_.begin(), Fields_.end(),
                           [&](const TFieldDescriptor& d) { return d.FieldNumber == number; });
    if (it == Fields_.end()) RaiseError(DEZEDE_INVALIDFLDTYPE, {.Table = TableName_, .Field = f.Name});
    it->FieldNumber = f.FieldNumber;
    it->Name = f.Name;
    it->SubType = f.SubType;
    it->Description = f.Description;
    it->Required = f.Required;
    it->MinValue = f.MinValue;
    it->MaxValue = f.MaxValue;
    it->DefaultValue = f.DefaultValue;
    DescriptorsDirty_ = true;
}

// --- Record slots ---

uint32_t TDataFile::FreeSlotChoice() const {
    return Header_.FirstFreeRecord != 0 ? Header_.FirstFreeRecord : Header_.NextRecordNumber;
}

void TDataFile::SetFirstFreeRecord(uint32_t n) {
    Header_.FirstFreeRecord = n;
    HeaderDirty_ = true;
}

void TDataFile::IncreaseNextRecordNumber() {
    ++Header_.NextRecordNumber;
    HeaderDirty_ = true;
}

void TDataFile::IncreaseRecordCount() {
    ++Header_.RecordCount;
    HeaderDirty_ = true;
}

void TDataFile::DecreaseRecordCount() {
    if (Header_.RecordCount > 0) --Header_.RecordCount;
    HeaderDirty_ = true;
}

void TDataFile::SetRecordCount(uint32_t n) {
    Header_.RecordCount = n;
    HeaderDirty_ = true;
}

int32_t TDataFile::NextRecordID() {
    Header_.LastRecordID = NextCounter(Header_.LastRecordID);
    HeaderDirty_ = true;
    return Header_.LastRecordID;
}

void TDataFile::SetLastRecordID(int32_t v) {
    Header_.LastRecordID = v;
    HeaderDirty_ = true;
}

void TDataFile::SetLastAutoInc(int32_t v) {
    Header_.LastAutoInc = v;
    HeaderDirty_ = true;
}

int32_t TDataFile::NextBlobVersion() {
    Header_.LastBlobVersion = NextCounter(Header_.LastBlobVersion);
    HeaderDirty_ = true;
    return Header_.LastBlobVersion;
}

int32_t TDataFile::LastBufferNumber() const {
    return static_cast<int32_t>(std::min<uint32_t>(Header_.NextRecordNumber, INT32_MAX) - 1);
}

uint32_t TDataFile::CacheCapacity() const { return CacheCapacityFor(Budget_, Header_.RecordSize, 36); }

uint16_t TDataFile::CorruptionCode() const { return DEZEDE_FILECORRUPT; }

TPinnedBuffer TDataFile::PinRecord(uint32_t n, const TCursorHints* hints, TReadAheadDirection direction) {
    if (n == 0 || n > static_cast<uint32_t>(LastBufferNumber()) + 1) Fail(DEZEDE_FILECORRUPT);
    const TCursorHints single;
    if (!hints) hints = &single;
    for (int attempt = 0; attempt < kChangeRetries; ++attempt) {
        TBuffer* buffer = nullptr;
        if (GetBuffer(hints, 0, &buffer, direction, true, static_cast<int32_t>(n)))
            return TPinnedBuffer(*this, buffer);
    }
    Fail(DEZEDE_KEYORRECDELETED);
}

void TDataFile::ReadRecord(uint32_t n, std::span<uint8_t> record, const TCursorHints* hints,
                           TReadAheadDirection direction) {
    if (n == 0 || n > static_cast<uint32_t>(LastBufferNumber())) Fail(DEZEDE_RECNOTFOUND);
    TPinnedBuffer b = PinRecord(n, hints, direction);
    std::memset(record.data(), 0, record.size());
    b->GetData(record.data(), static_cast<uint32_t>(std::min<size_t>(record.size(), b->Size())));
}

uint32_t TDataFile::InsertRecord(std::span<const uint8_t> record) {
    const uint32_t n = FreeSlotChoice();
    TPinnedBuffer b = PinRecord(n);
    TRecord& slot = static_cast<TRecord&>(*b.Get());
    if (Header_.FirstFreeRecord != 0) {
        const uint32_t next = slot.Link();
        if (!slot.IsFree() || next >= Header_.NextRecordNumber || next == n) Fail(DEZEDE_FILECORRUPT);
        SetFirstFreeRecord(next);
    }
    slot.SetData(record.data(), static_cast<uint32_t>(std::min<size_t>(record.size(), slot.Size())));
    slot.Data()[0] = kRecordActive;
    slot.SetLink(n);
    IncreaseRecordCount();
    return n;
}

void TDataFile::WriteRecord(uint32_t n, std::span<const uint8_t> record) {
    if (n == 0 || n > static_cast<uint32_t>(LastBufferNumber())) Fail(DEZEDE_RECNOTFOUND);
    TPinnedBuffer b = PinRecord(n);
    TRecord& slot = static_cast<TRecord&>(*b.Get());
    if (slot.IsFree()) Fail(DEZEDE_KEYORRECDELETED);
    const uint8_t status = slot.Status();
    slot.SetData(record.data(), static_cast<uint32_t>(std::min<size_t>(record.size(), slot.Size())));
    slot.Data()[0] = status;
    slot.SetLink(n);
}

void TDataFile::DeleteRecord(uint32_t n) {
    if (n == 0 || n > static_cast<uint32_t>(LastBufferNumber())) Fail(DEZEDE_RECNOTFOUND);
    TPinnedBuffer b = PinRecord(n);
    TRecord& slot = static_cast<TRecord&>(*b.Get());
    // Freeing a free slot again would close the chain into a loop.
    if (slot.IsFree()) Fail(DEZEDE_KEYORRECDELETED);
    slot.Data()[0] = kRecordFree;
    slot.SetLink(Header_.FirstFreeRecord);
    slot.Dirty = true;
    SetFirstFreeRecord(n);
    DecreaseRecordCount();
}

void TDataFile::EmptyFile() {
    TBufferedFile::EmptyFile();
    Header_.ChangeCounter = 0;
    Header_.FirstFreeRecord = 0;
    Header_.NextRecordNumber = 1;
    Header_.LastRecordID = 0;
    Header_.LastAutoInc = 0;
    Header_.RecordCount = 0;
    HeaderDirty_ = true;
}

}  // namespace dezede
