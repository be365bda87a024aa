#pragma once
// TTablePartFile: what a table's BLOB file and index file share on top of the
// buffer cache: the table and engine they belong to, the table's cipher, and
// the 512-byte header with its format version, engine signature, change
// counter and changed flag. THeader is the kind's header record, Decode and
// Encode its codec; the kinds add their own header checks and numbering.

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "engine/buffered_file.h"
#include "engine/data_file_format.h"
#include "engine/error_codes.h"
#include "engine/error_context.h"
#include "support/table_cipher.h"

namespace dezede {

// The cipher hook that enciphers with a table cipher; an empty hook without one.
TCipherHook TableCipherHook(std::shared_ptr<const TTableCipher> cipher);

// Refuses a header of another format version (DEZEDE_OLDVERSION below 7, else
// DEZEDE_BADSIGNATURE) or one signed by neither this engine nor the default
// signature (DEZEDE_BADSIGNATURE), naming the table.
void CheckHeaderIdentity(uint8_t version, const TDigest& signature, const std::string& engineSignature,
                         const std::string& table);

// The last buffer number of a file whose header holds the next one (0 to INT32_MAX).
int32_t LastNumberBefore(uint32_t nextNumber);

template <typename THeader, THeader (*Decode)(std::span<const uint8_t>),
          void (*Encode)(const THeader&, std::span<uint8_t>)>
class TTablePartFile : public TBufferedFile {
public:
    const std::string& TableName() const { return TableName_; }
    void SetTableName(std::string name) { TableName_ = std::move(name); }
    void SetEngineSignature(std::string signature) { Signature_ = std::move(signature); }
    void SetCacheBudget(const TCacheBudget& budget) { Budget_ = budget; }
    // The table's cipher when it is encrypted (header, buffers).
    void SetTableCipher(std::shared_ptr<const TTableCipher> cipher) { SetCipher(TableCipherHook(std::move(cipher))); }

    void ReadHeader() override {
        uint8_t image[kFileHeaderSize];
        ReadHeaderImage(image, sizeof image, true);
        Header_ = Decode(std::span<const uint8_t>(image));
        HeaderDirty_ = false;
    }

    bool WriteHeader(bool force) override {
        if (!HeaderDirty_ && !force) return false;
        Header_.ChangeCounter = NextChangeCounter(Header_.ChangeCounter);
        Header_.ChangedFlag = HeaderDirty_ ? 1 : 0;
        uint8_t image[kFileHeaderSize];
        Encode(Header_, std::span<uint8_t>(image));
        WriteHeaderImage(image, sizeof image, true);
        HeaderDirty_ = false;
        return true;
    }

    void MarkHeaderChanged() override {
        Header_.ChangeCounter = NextChangeCounter(Header_.ChangeCounter);
        HeaderDirty_ = true;
    }

    bool HeaderMarkedChanged() const { return HeaderDirty_; }
    const THeader& Header() const { return Header_; }

protected:
    TTablePartFile(TFileRegistry& registry, std::string fileName, bool inMemory, std::string tableName,
                   const TCacheBudget& budget)
        : TBufferedFile(registry, std::move(fileName), inMemory), TableName_(std::move(tableName)),
          Budget_(budget) {}

    [[noreturn]] void Fail(uint16_t code) const { RaiseError(code, {.Table = TableName_}); }

    // After Create(): a zeroed header with the engine's signature, marked changed.
    void ResetHeader() {
        Header_ = {};
        Header_.Signature = SignatureDigest(Signature_);
        HeaderDirty_ = true;
    }

    // Drops every buffer and the file's contents; the header returns to this
    // format version and a zero change counter, marked changed. The kind
    // resets its own numbering.
    void EmptyFileAndHeader() {
        TBufferedFile::EmptyFile();
        Header_.Version = kFormatVersion;
        Header_.ChangeCounter = 0;
        HeaderDirty_ = true;
    }

    // Opens the file, reads the header and checks its version and signature,
    // then runs the kind's own `checks`; closes the file again when one fails.
    template <typename Checks>
    void OpenChecked(Checks checks) {
        Open();
        try {
            ReadHeader();
            CheckHeaderIdentity(Header_.Version, Header_.Signature, Signature_, TableName_);
            checks();
            ResetStatistics();
        } catch (...) {
            Close();
            throw;
        }
    }

    // Buffer n pinned (the caller has checked the number); change detection
    // on every one of eight attempts gives DEZEDE_KEYORRECDELETED.
    TPinnedBuffer PinNumber(uint32_t n, TReadAheadDirection direction, bool readAheadAllowed) {
        TCursorHints hints;
        for (int attempt = 0; attempt < 8; ++attempt) {
            TBuffer* buffer = nullptr;
            if (GetBuffer(&hints, 0, &buffer, direction, readAheadAllowed, static_cast<int32_t>(n)))
                return TPinnedBuffer(*this, buffer);
        }
        Fail(DEZEDE_KEYORRECDELETED);
    }

    // Takes the head off a free chain whose first number is `firstFree`, given
    // the number stored in the head as its successor: one beyond `last` or
    // back to the head itself is damage.
    void UnlinkFreeHead(uint32_t& firstFree, uint32_t next, uint32_t last) {
        if (next > last || next == firstFree) Fail(CorruptionCode());
        firstFree = next;
        HeaderDirty_ = true;
    }

    std::string TableName_;
    std::string Signature_ = kDefaultSignature;
    TCacheBudget Budget_;
    THeader Header_;
    bool HeaderDirty_ = false;
};

}  // namespace dezede
