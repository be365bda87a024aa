#pragma once
// TDataFile: a table's data file (header, field descriptors, record slots)
// over the buffer cache, whose buffers are TRecords. It keeps the header and
// the descriptors in memory with a change mark each, checks version,
// signature and password when it opens, and offers the record-slot helpers
// of the free chain, the counters with wrap, and the field lookups.
//
//   TDataFile data(registry, "/db/Reason.dat");
//   data.OpenDataFile({.Passwords = {"secret"}});
//   const TFieldDescriptor* f = data.FindField("LockedBy");

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/buffered_file.h"
#include "engine/data_file_format.h"
#include "support/table_cipher.h"

namespace dezede {

class TDataFile;

// One record slot in the cache: the record image, record size bytes.
class TRecord : public TBuffer {
public:
    explicit TRecord(TBufferedFile& owner) : TBuffer(owner) {}

    uint8_t Status() const { return Size() ? Data()[0] : kRecordFree; }
    bool IsFree() const { return Status() == kRecordFree; }
    // Bytes 1 to 4: the next free slot of a free record, else the own number.
    uint32_t Link() const;
    void SetLink(uint32_t value);
    int32_t RecordID() const;
    TDigest Hash() const;

protected:
    // An active slot's bytes 1 to 4 are set in memory to its own number.
    void ReadImage(const uint8_t* image) override;
};

// Where the passwords of an encrypted table come from: the session's list,
// then, while it answers, the application's password event.
struct TPasswordSource {
    std::vector<std::string> Passwords;
    std::function<std::optional<std::string>()> Ask;
};

class TDataFile : public TBufferedFile {
public:
    TDataFile(TFileRegistry& registry, std::string fileName, bool inMemory = false);

    // The name errors carry; by default the file's base name without extension.
    const std::string& TableName() const { return TableName_; }
    void SetTableName(std::string name) { TableName_ = std::move(name); }
    // The running engine's signature text (engine setting EngineSignature).
    void SetEngineSignature(std::string signature) { Signature_ = std::move(signature); }
    const std::string& EngineSignature() const { return Signature_; }
    void SetCacheBudget(const TCacheBudget& budget) { Budget_ = budget; }

    // --- Opening and creating ---
    // Opens the file, reads and checks the header (version, signature, field
    // count, password) and loads the descriptors.
    void OpenDataFile(const TPasswordSource& passwords = {});
    // After Create(): a zeroed header with version 6, the engine's signature
    // and next record number 1, marked changed.
    void CreateHeader();
    // Copies the descriptors and computes the record layout.
    void SetFieldDescriptors(std::vector<TFieldDescriptor> fields);
    // Makes the table encrypted with the password (DEZEDE_INVALIDPASSWORD when
    // it is blank or longer than 128 characters).
    void SetPassword(std::string_view password);
    // The cipher of an encrypted table once its password is known, else null.
    std::shared_ptr<const TTableCipher> Cipher() const { return Cipher_; }

    // --- Header ---
    void ReadHeader() override;
    bool WriteHeader(bool force) override;
    void MarkHeaderChanged() override;
    // Rereads the header; true when its change counter moved.
    bool HeaderChanged();
    bool HeaderMarkedChanged() const { return HeaderDirty_; }
    const TDataHeader& Header() const { return Header_; }
    // Changes header fields through fn and marks the header changed.
    void UpdateHeader(const std::function<void(TDataHeader&)>& fn);
    void VerifyHeader();

    // --- Descriptors ---
    void ReadFieldDescriptors();
    // Writes the descriptors when they are marked changed; true when it wrote.
    bool WriteFieldDescriptors();
    bool DescriptorsMarkedChanged() const { return DescriptorsDirty_; }
    const std::vector<TFieldDescriptor>& Fields() const { return Fields_; }
    // -1 and -2 give the RecordID and RecordHash pseudo fields; null when none.
    const TFieldDescriptor* FindField(int32_t number) const;
    const TFieldDescriptor* FindField(std::string_view name) const;
    // Replaces number, name, subtype, description, required flag and the
    // minimum, maximum and default texts of an existing field.
    void UpdateFieldDescriptor(int32_t number, const TFieldDescriptor& f);

    // --- Record slots ---
    // The slot the next insert takes: the first free record, else a new one.
    uint32_t FreeSlotChoice() const;
    void SetFirstFreeRecord(uint32_t n);
    void IncreaseNextRecordNumber();
    void IncreaseRecordCount();
    void DecreaseRecordCount();
    void SetRecordCount(uint32_t n);
    int32_t NextRecordID();
    void SetLastRecordID(int32_t v);
    void SetLastAutoInc(int32_t v);
    int32_t NextBlobVersion();

    // Reads slot n (1 to next record number - 1) into record (record size bytes).
    // A cursor passes its hints (how many records a miss may read ahead) and
    // the direction it moves in; without hints a miss reads one record.
    void ReadRecord(uint32_t n, std::span<uint8_t> record, const TCursorHints* hints = nullptr,
                    TReadAheadDirection direction = kReadAheadForward);
    // Inserts a record image into the free slot choice (status 0, own number
    // in bytes 1 to 4); returns its number. The caller sets RecordID and hash.
    uint32_t InsertRecord(std::span<const uint8_t> record);
    // Overwrites active slot n with the record image.
    void WriteRecord(uint32_t n, std::span<const uint8_t> record);
    // Frees slot n onto the free chain and counts one record less.
    void DeleteRecord(uint32_t n);

    // Truncates at record slot 1 and resets the counters.
    void EmptyFile();

    // --- Buffer cache parameters ---
    uint32_t DiskBufferSize() const override { return Header_.RecordSize; }
    uint32_t MemoryBufferSize() const override { return Header_.RecordSize; }
    uint64_t DataStart() const override { return dezede::DataStart(Header_.FieldCount); }
    int32_t LastBufferNumber() const override;
    void AdvanceLastBufferNumber() override { IncreaseNextRecordNumber(); }
    uint32_t CacheCapacity() const override;
    uint32_t ReadAheadLimit() const override { return std::max<uint32_t>(1, CacheCapacity() / 2); }
    uint32_t ScanDepth() const override { return 4; }
    uint32_t GrowthStep() const override { return 64; }
    uint16_t CorruptionCode() const override;
    bool LimitsRecordNumber() const override { return true; }
    std::unique_ptr<TBuffer> NewBuffer() override { return std::make_unique<TRecord>(*this); }

private:
    [[noreturn]] void Fail(uint16_t code) const;
    void CheckOpenedHeader();
    void CheckPassword(const TPasswordSource& passwords);
    void UseCipher(std::shared_ptr<const TTableCipher> cipher);
    TPinnedBuffer PinRecord(uint32_t n, const TCursorHints* hints = nullptr,
                            TReadAheadDirection direction = kReadAheadForward);

    std::string TableName_;
    std::string Signature_ = kDefaultSignature;
    TCacheBudget Budget_{32768, 8192};
    TDataHeader Header_;
    std::vector<TFieldDescriptor> Fields_;
    bool HeaderDirty_ = false;
    bool DescriptorsDirty_ = false;
    std::shared_ptr<const TTableCipher> Cipher_;
};

// DEZEDE_INVALIDPASSWORD naming the table unless the password is usable for an
// encrypted table: not blank after trimming and at most 128 characters.
void CheckTablePassword(std::string_view password, const std::string& table);

// The base name of a file without directory and extension ("Reason" for "/db/Reason.dat").
std::string TableNameOf(const std::string& fileName);

}  // namespace dezede
