#include "engine/file_registry.h"

#include <algorithm>

#include "engine/error_codes.h"
#include "engine/error_context.h"
#include "engine/memory_file.h"
#include "engine/os_error.h"
#include "engine/physical_file.h"
#include "platform/file_names.h"
#include "platform/windows_error.h"
#include "support/ansi_strings.h"

namespace dezede {

namespace {

bool IsMemoryFile(const TBaseFile* file) { return dynamic_cast<const TMemoryFile*>(file) != nullptr; }

TFileOpenResult Failure(uint16_t code) {
    TFileOpenResult r;
    r.Error = code;
    return r;
}

uint16_t SharingConflict() {
    TErrorContextStore::Instance().SetOSError(DEZEDE_OSEACCES);
    return DEZEDE_OSEACCES;
}

}  // namespace

TFileRegistry::TFileRegistry() = default;
TFileRegistry::~TFileRegistry() = default;

TFileRegistry& TFileRegistry::Instance() {
    static TFileRegistry registry;
    return registry;
}

std::string TFileRegistry::Key(const std::string& name, bool inMemory) {
    const std::string trimmed(TrimWhitespace(name));
    return inMemory ? trimmed : ResolveFileName(trimmed);
}

size_t TFileRegistry::Count(bool inMemory) const {
    const TList& list = inMemory ? Memory_ : Physical_;
    std::lock_guard lock(list.Mutex);
    return list.Files.size();
}

void TFileRegistry::FreeUnused(bool inMemory) {
    std::vector<std::unique_ptr<TBaseFile>> unused;
    {
        TList& list = ListFor(inMemory);
        std::lock_guard lock(list.Mutex);
        for (auto& f : list.Files)
            if (f->HandleCount() == 0) unused.push_back(std::move(f));
        std::erase(list.Files, nullptr);
    }
    // unused is freed here, outside the list's lock.
}

size_t TFileRegistry::LowerBound(const TList& list, const std::string& key) {
    auto it = std::lower_bound(list.Files.begin(), list.Files.end(), key,
                               [](const std::unique_ptr<TBaseFile>& f, const std::string& k) {
                                   return CompareNoCase(f->FileName(), k) < 0;
                               });
    return static_cast<size_t>(it - list.Files.begin());
}

TBaseFile* TFileRegistry::Find(const TList& list, const std::string& key, size_t* index) {
    const size_t i = LowerBound(list, key);
    if (index) *index = i;
    if (i < list.Files.size() && CompareNoCase(list.Files[i]->FileName(), key) == 0)
        return list.Files[i].get();
    return nullptr;
}

TFileOpenResult TFileRegistry::Open(const TFileOpenRequest& request) { return OpenOrCreate(request, false); }

TFileOpenResult TFileRegistry::Create(const TFileOpenRequest& request) { return OpenOrCreate(request, true); }

TFileOpenResult TFileRegistry::OpenOrCreate(const TFileOpenRequest& request, bool create) {
    const std::string key = Key(request.Name, request.InMemory);
    if (key.empty()) {
        TErrorContextStore::Instance().SetOSError(DEZEDE_OSENOENT);
        return Failure(DEZEDE_OSENOENT);
    }
    TList& list = ListFor(request.InMemory);
    std::lock_guard lock(list.Mutex);
    size_t index = 0;
    TBaseFile* file = Find(list, key, &index);
    std::unique_ptr<TBaseFile> fresh;
    if (file && file->HandleCount() > 0) {
        // Inside the process the registry enforces exclusivity; between
        // processes the share lock does.
        if (create || file->Exclusive || request.Exclusive) return Failure(SharingConflict());
    } else if (file && create && request.NewOnly) {
        // A memory file kept after its last close still exists.
        return Failure(SaveOSError(kWinAlreadyExists));
    } else {
        if (!file) {
            if (!create && request.InMemory) {
                TErrorContextStore::Instance().SetOSError(DEZEDE_OSENOENT);
                return Failure(DEZEDE_OSENOENT);
            }
            if (request.InMemory) {
                fresh = std::make_unique<TMemoryFile>(key);
            } else {
                fresh = std::make_unique<TPhysicalFile>(key);
            }
            file = fresh.get();
        }
        file->Exclusive = create || request.Exclusive;
        file->ReadOnly = !create && request.ReadOnly;
        file->Temporary = request.Temporary;
        file->Hidden = request.Hidden;
        file->NewOnly = create && request.NewOnly;
    }
    const int32_t handle = create ? file->CreateFile() : file->OpenFile();
    if (handle < 0) return Failure(static_cast<uint16_t>(-handle));
    if (fresh) list.Files.insert(list.Files.begin() + static_cast<std::ptrdiff_t>(index), std::move(fresh));
    TFileOpenResult r;
    r.File = file;
    r.Handle = handle;
    // A read-only request that shares a read-write descriptor stays read-only.
    r.ReadOnly = file->ReadOnly || request.ReadOnly;
    r.ReadOnlyOnDisk = file->ReadOnlyOnDisk;
    return r;
}

void TFileRegistry::Close(TBaseFile* file, int32_t handle) {
    if (!file) return;
    const bool inMemory = IsMemoryFile(file);
    TList& list = ListFor(inMemory);
    std::lock_guard lock(list.Mutex);
    file->CloseFile(handle);
    if (file->HandleCount() > 0) return;
    if (inMemory && !file->Temporary) return;  // memory files keep their contents
    auto it = std::find_if(list.Files.begin(), list.Files.end(),
                           [&](const std::unique_ptr<TBaseFile>& f) { return f.get() == file; });
    if (it != list.Files.end()) list.Files.erase(it);
}

uint16_t TFileRegistry::Delete(const std::string& name, bool inMemory) {
    const std::string key = Key(name, inMemory);
    TList& list = ListFor(inMemory);
    std::lock_guard lock(list.Mutex);
    size_t index = 0;
    if (TBaseFile* file = Find(list, key, &index)) {
        if (file->HandleCount() > 0) return SharingConflict();
        if (const uint16_t err = file->DeleteFile()) return err;
        list.Files.erase(list.Files.begin() + static_cast<std::ptrdiff_t>(index));
        return 0;
    }
    if (inMemory) {
        TErrorContextStore::Instance().SetOSError(DEZEDE_OSENOENT);
        return DEZEDE_OSENOENT;
    }
    if (const uint32_t err = OSDeleteFile(key)) return SaveOSError(err);
    return 0;
}

uint16_t TFileRegistry::Rename(const std::string& name, const std::string& newName, bool inMemory) {
    const std::string key = Key(name, inMemory);
    const std::string newKey = inMemory ? std::string(TrimWhitespace(newName)) : Key(newName, false);
    if (newKey.empty()) {
        TErrorContextStore::Instance().SetOSError(DEZEDE_OSENOENT);
        return DEZEDE_OSENOENT;
    }
    TList& list = ListFor(inMemory);
    std::lock_guard lock(list.Mutex);
    if (Find(list, newKey) != nullptr && CompareNoCase(key, newKey) != 0) return SharingConflict();
    size_t index = 0;
    if (TBaseFile* file = Find(list, key, &index)) {
        if (file->HandleCount() > 0) return SharingConflict();
        if (const uint16_t err = file->RenameFile(newKey)) return err;
        // Keep the list sorted under the new name.
        std::unique_ptr<TBaseFile> moved = std::move(list.Files[index]);
        list.Files.erase(list.Files.begin() + static_cast<std::ptrdiff_t>(index));
        size_t at = 0;
        Find(list, newKey, &at);
        list.Files.insert(list.Files.begin() + static_cast<std::ptrdiff_t>(at), std::move(moved));
        return 0;
    }
    if (inMemory) {
        TErrorContextStore::Instance().SetOSError(DEZEDE_OSENOENT);
        return DEZEDE_OSENOENT;
    }
    if (const uint32_t err = OSRenameFile(key, newKey)) return SaveOSError(err);
    return 0;
}

void TFileRegistry::Clear() {
    FreeUnused(false);
    FreeUnused(true);
}

bool TFileRegistry::Exists(const std::string& name, bool inMemory) {
    const std::string key = Key(name, inMemory);
    if (key.empty()) return false;
    TList& list = ListFor(inMemory);
    {
        std::lock_guard lock(list.Mutex);
        if (Find(list, key) != nullptr) return true;
    }
    return !inMemory && OSFileExists(key);
}

std::vector<std::string> TFileRegistry::List(const std::string& directory, const std::string& extension,
                                             bool inMemory) {
    if (!inMemory) return OSListFiles(directory.empty() ? "." : directory, extension);
    std::string dir(TrimWhitespace(directory));
    while (!dir.empty() && dir.back() == '/') dir.pop_back();
    std::vector<std::string> names;
    std::lock_guard lock(Memory_.Mutex);
    for (const auto& file : Memory_.Files) {
        const std::string& full = file->FileName();
        const size_t slash = full.rfind('/');
        const std::string fileDir = slash == std::string::npos ? std::string() : full.substr(0, slash);
        const std::string name = slash == std::string::npos ? full : full.substr(slash + 1);
        if (CompareNoCase(fileDir, dir) != 0 || name.size() < extension.size()) continue;
        if (CompareNoCase(name.substr(name.size() - extension.size()), extension) != 0) continue;
        names.push_back(name);
    }
    return names;
}

}  // namespace dezede
