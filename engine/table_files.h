#pragma once
// A table's three files together: writing a new table's data, index and BLOB
// files from field and index definitions, and opening the files of an
// existing table for reading (the data file first, then the index file and,
// when the table has BLOB fields, the BLOB file, all with the table's cipher).
// Directories, locks and sessions are the callers' business.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/blob_file.h"
#include "engine/buffered_file.h"
#include "engine/data_file.h"
#include "engine/index_file.h"

namespace dezede {

class TFileRegistry;

struct TTableFileNames {
    std::string Data;
    std::string Index;
    std::string Blob;
    // The files live in the in-memory file list (the "Memory" database).
    bool InMemory = false;
    // base + ".dat", ".idx", ".blb" (or the given extensions).
    static TTableFileNames FromBase(const std::string& base, const std::string& dataExt = ".dat",
                                    const std::string& indexExt = ".idx", const std::string& blobExt = ".blb");
};

struct TTableDefinition {
    std::vector<TFieldDescriptor> Fields;
    std::optional<TIndexDescriptor> PrimaryIndex;  // none: the default RecordID index
    std::vector<TIndexDescriptor> SecondaryIndexes;
    std::vector<int16_t> FullTextFields;
    std::string Description;
    uint32_t Locale = 0;
    uint16_t UserMajor = 0;
    uint16_t UserMinor = 0;
    int32_t LastAutoInc = 0;
    uint32_t BlobBlockSize = 512;
    uint32_t IndexPageSize = 4096;
    std::string Password;  // empty: not encrypted
};

// Checks the definition (every creation check with its error, naming the
// table) and writes the files. Nothing is left behind when a check or a write
// fails. The BLOB file is written only when the table has BLOB fields.
void CreateTableFiles(TFileRegistry& registry, const TTableFileNames& names, TTableDefinition definition,
                      const std::string& signature = kDefaultSignature);

// The open files of one table, read without locks. Also the table of their
// buffer caches: never in a transaction, no change detection.
class TTableFiles : public TBufferTable {
public:
    TTableFiles(TFileRegistry& registry, const TTableFileNames& names, const std::string& signature = kDefaultSignature);
    ~TTableFiles() override;

    void Open(const TPasswordSource& passwords = {});
    void Close();

    TDataFile& Data() { return *Data_; }
    TIndexFile& Index() { return *Index_; }
    // Null when the table has no BLOB fields.
    TBlobFile* Blob() { return Blob_.get(); }

    std::string TableName() const override { return Data_->TableName(); }
    bool InTransaction() const override { return false; }
    bool WrittenSinceOpened() const override { return Written_; }
    void MarkWritten() override { Written_ = true; }
    bool ForceBufferFlush() const override { return false; }
    bool StrictChangeDetection() const override { return true; }
    bool CheckForChanges() override { return false; }

    // Writes dirty buffers and headers in the fixed order: data, index, BLOB,
    // and the data header last whenever anything else was written.
    void WriteChanges();

private:
    TTableFileNames Names_;
    std::string Signature_;
    std::unique_ptr<TDataFile> Data_;
    std::unique_ptr<TIndexFile> Index_;
    std::unique_ptr<TBlobFile> Blob_;
    TFileRegistry& Registry_;
    bool Written_ = false;
};

}  // namespace dezede
