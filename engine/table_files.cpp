#include "engine/table_files.h"

#include "engine/error_context.h"
#include "engine/file_registry.h"
#include "support/ansi_strings.h"
#include "support/locales.h"

namespace dezede {

TTableFileNames TTableFileNames::FromBase(const std::string& base, const std::string& dataExt,
                                          const std::string& indexExt, const std::string& blobExt) {
    return {base + dataExt, base + indexExt, base + blobExt, false};
}

namespace {

// Closes the files it was given and, unless released, deletes them: a table
// whose creation failed leaves nothing behind.
class TCreatedFiles {
public:
    TCreatedFiles(TFileRegistry& registry, bool inMemory) : Registry_(registry), InMemory_(inMemory) {}
    ~TCreatedFiles() {
        for (TEngineFile* f : Files_)
            if (f->IsOpen()) f->Close();
        if (!Keep_)
            for (const std::string& name : Names_) Registry_.Delete(name, InMemory_);
    }
    void Add(TEngineFile& f, const std::string& name) {
        Files_.push_back(&f);
        Names_.push_back(name);
    }
    void Keep() { Keep_ = true; }

private:
    TFileRegistry& Registry_;
    bool InMemory_;
    std::vector<TEngineFile*> Files_;
    std::vector<std::string> Names_;
    bool Keep_ = false;
};

void CheckIndexes(TTableDefinition& def, const std::vector<TFieldDescriptor>& fields, const std::string& table) {
    if (def.SecondaryIndexes.size() > kMaxSecondaryIndexes) RaiseError(DEZEDE_INDEXLIMIT, {.Table = table});
    for (size_t i = 0; i < def.SecondaryIndexes.size(); ++i) {
        TIndexDescriptor& d = def.SecondaryIndexes[i];
        CheckIndexDefinition(d, false, fields, def.IndexPageSize, table);
        for (size_t j = 0; j < i; ++j)
            if (CompareAnsiStrings(def.SecondaryIndexes[j].Name, d.Name, true) == 0)
                RaiseError(DEZEDE_INDEXEXISTS, {.Table = table, .Index = d.Name});
    }
    if (def.FullTextFields.size() > kMaxIndexFields) RaiseError(DEZEDE_INDEXLIMIT, {.Table = table});
    for (int16_t n : def.FullTextFields) {
        const TFieldDescriptor* f = FindKeyField(fields, n);
        if (!f || f->IsPseudo() || !(f->IsString() || (f->IsBlob() && f->SubType == fsdMemo)))
            RaiseError(DEZEDE_INVALIDIDXDESC, {.Table = table, .Index = kFullTextIndexName});
    }
}

}  // namespace

void CreateTableFiles(TFileRegistry& registry, const TTableFileNames& names, TTableDefinition def,
                      const std::string& signature) {
    const std::string table = TableNameOf(names.Data);
    TRecordLayout layout = CheckFieldDefinitions(def.Fields, table);
    if (def.IndexPageSize < kMinIndexPageSize || def.IndexPageSize > kMaxIndexPageSize)
        RaiseError(DEZEDE_INDEXLIMIT, {.Table = table});
    if (def.BlobBlockSize < kMinBlobBlockSize || def.BlobBlockSize > kMaxBlobBlockSize)
        RaiseError(DEZEDE_BLOBLIMIT, {.Table = table});
    if (def.Locale != 0 && !IsLocaleInstalled(def.Locale)) RaiseError(DEZEDE_CANNOTLOADLDDRV, {.Table = table});
    if (def.Description.size() > kMaxFieldDescriptionLength) RaiseError(DEZEDE_INVALIDVCHKSTRUCT, {.Table = table});
    CheckIndexes(def, def.Fields, table);
    if (!def.Password.empty()) CheckTablePassword(def.Password, table);

    TDataFile data(registry, names.Data, names.InMemory);
    TIndexFile index(registry, names.Index, names.InMemory);
    TBlobFile blob(registry, names.Blob, names.InMemory);
    TCreatedFiles created(registry, names.InMemory);

    data.SetEngineSignature(signature);
    data.Create();
    created.Add(data, names.Data);
    data.CreateHeader();
    data.SetFieldDescriptors(def.Fields);
    data.UpdateHeader([&](TDataHeader& h) {
        h.Locale = def.Locale;
        h.UserMajor = def.UserMajor;
        h.UserMinor = def.UserMinor;
        h.LastAutoInc = def.LastAutoInc;
        h.BlobBlockSize = def.BlobBlockSize;
        h.IndexPageSize = def.IndexPageSize;
        h.Description = def.Description;
    });
    if (!def.Password.empty()) data.SetPassword(def.Password);
    data.WriteFieldDescriptors();

    index.SetEngineSignature(signature);
    index.SetPageSize(def.IndexPageSize);
    index.SetTableCipher(data.Cipher());
    index.Create();
    created.Add(index, names.Index);
    index.CreateIndexHeader();
    index.SetPrimaryIndex(def.PrimaryIndex ? *def.PrimaryIndex : DefaultPrimaryIndex(), def.Fields);
    for (size_t i = 0; i < def.SecondaryIndexes.size(); ++i) index.SetSecondaryIndex(i + 1, def.SecondaryIndexes[i]);
    index.SetSecondaryIndex(kFullTextIndexSlot, FullTextIndex(def.FullTextFields));
    index.WriteIndexDescriptors();
    index.WriteHeader(true);

    if (layout.BlobFieldCount > 0) {
        blob.SetEngineSignature(signature);
        blob.SetBlockSize(def.BlobBlockSize);
        blob.SetTableCipher(data.Cipher());
        blob.Create();
        created.Add(blob, names.Blob);
        blob.CreateBlobHeader();
        blob.WriteHeader(true);
    }
    // The data header goes last, so that its change counter covers the others.
    data.WriteHeader(true);
    created.Keep();
}

// --- TTableFiles ---

TTableFiles::TTableFiles(TFileRegistry& registry, const TTableFileNames& names, const std::string& signature)
    : Names_(names), Signature_(signature), Registry_(registry) {
    Data_ = std::make_unique<TDataFile>(registry, names.Data, names.InMemory);
    Index_ = std::make_unique<TIndexFile>(registry, names.Index, names.InMemory);
}

TTableFiles::~TTableFiles() { Close(); }

void TTableFiles::Open(const TPasswordSource& passwords) {
    Close();
    try {
        Data_->SetEngineSignature(Signature_);
        Data_->SetTable(this);
        Data_->OpenDataFile(passwords);
        const TDataHeader& h = Data_->Header();
        Index_->SetTableName(Data_->TableName());
        Index_->SetEngineSignature(Signature_);
        Index_->SetTable(this);
        Index_->SetPageSize(h.IndexPageSize);
        Index_->SetTableCipher(Data_->Cipher());
        Index_->OpenIndexFile();
        if (h.BlobFieldCount > 0) {
            Blob_ = std::make_unique<TBlobFile>(Registry_, Names_.Blob, Names_.InMemory);
            Blob_->SetTableName(Data_->TableName());
            Blob_->SetEngineSignature(Signature_);
            Blob_->SetTable(this);
            Blob_->SetBlockSize(h.BlobBlockSize);
            Blob_->SetTableCipher(Data_->Cipher());
            Blob_->OpenBlobFile();
        }
    } catch (...) {
        Close();
        throw;
    }
}

void TTableFiles::Close() {
    if (Blob_) {
        Blob_->Close();
        Blob_.reset();
    }
    Index_->Close();
    Data_->Close();
}

void TTableFiles::WriteChanges() {
    bool dataWritten = Data_->FlushBuffers(false);
    dataWritten = Data_->WriteHeader(dataWritten) || dataWritten;
    dataWritten = Data_->WriteFieldDescriptors() || dataWritten;
    bool otherWritten = Index_->FlushBuffers(false);
    otherWritten = Index_->WriteHeader(otherWritten) || otherWritten;
    otherWritten = Index_->WriteIndexDescriptors() || otherWritten;
    if (Blob_) {
        bool blobWritten = Blob_->FlushBuffers(false);
        otherWritten = Blob_->WriteHeader(blobWritten) || blobWritten || otherWritten;
    }
    if (!dataWritten && otherWritten) Data_->WriteHeader(true);
}

}  // namespace dezede
