#pragma once
// The engine's file registry: every open TBaseFile of the process, physical
// files and memory files in two lists, each sorted by name, searched by binary
// search with a case-insensitive comparison of the trimmed names, and each
// guarded by its own mutex (taken before a file's own locks). Physical names
// are first resolved to a full path (platform/file_names.h).
//
// Rules: a name with handles gets another handle unless it or the new request
// is exclusive (then DEZEDE_OSEACCES); a created file is registered exclusive
// until its creator closes it; the last close of a physical file closes it and
// unregisters it, deleting it first when temporary; a memory file stays
// registered with its contents after its last close unless it is temporary.
//
// The engine object owns one registry; Instance() is the process-wide one the
// engine hands out until then.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/base_file.h"

namespace dezede {

struct TFileOpenRequest {
    std::string Name;
    bool InMemory = false;
    bool Exclusive = false;
    bool ReadOnly = false;
    bool Temporary = false;
    bool Hidden = false;
    bool NewOnly = false;  // a create fails (DEZEDE_OSEACCES) when the file exists
};

struct TFileOpenResult {
    TBaseFile* File = nullptr;   // registered file, valid until the handle is closed
    int32_t Handle = 0;
    uint16_t Error = 0;          // engine error code when File is null
    bool ReadOnly = false;       // effective read only
    bool ReadOnlyOnDisk = false;
};

class TFileRegistry {
public:
    TFileRegistry();
    ~TFileRegistry();
    TFileRegistry(const TFileRegistry&) = delete;
    TFileRegistry& operator=(const TFileRegistry&) = delete;

    static TFileRegistry& Instance();

    TFileOpenResult Open(const TFileOpenRequest& request);
    TFileOpenResult Create(const TFileOpenRequest& request);
    void Close(TBaseFile* file, int32_t handle);

    // 0 or an engine error code. Names with handles answer DEZEDE_OSEACCES;
    // names not registered act on the disk directly.
    uint16_t Delete(const std::string& name, bool inMemory);
    uint16_t Rename(const std::string& name, const std::string& newName, bool inMemory);
    bool Exists(const std::string& name, bool inMemory);
    // Names (without directory) of the files in directory whose extension
    // matches ignoring case: on disk in directory order, in memory in name
    // order. A memory file's directory is the part of its name before the
    // last "/" (empty when there is none).
    std::vector<std::string> List(const std::string& directory, const std::string& extension, bool inMemory);

    // Frees every file without handles, physical files first, then memory
    // files (whose contents go with them); files still open stay.
    void Clear();

    // The registry key of a name: trimmed, and for physical files resolved.
    static std::string Key(const std::string& name, bool inMemory);
    size_t Count(bool inMemory) const;

    // Frees every entry of one list that has no handle left (the memory files
    // kept after their last close); used when the engine shuts down. Entries
    // with open handles stay: their holders still use them.
    void FreeUnused(bool inMemory);

private:
    struct TList {
        mutable std::mutex Mutex;
        std::vector<std::unique_ptr<TBaseFile>> Files;  // sorted by name, no case
    };
    TList& ListFor(bool inMemory) { return inMemory ? Memory_ : Physical_; }
    static size_t LowerBound(const TList& list, const std::string& key);
    static TBaseFile* Find(const TList& list, const std::string& key, size_t* index = nullptr);
    TFileOpenResult OpenOrCreate(const TFileOpenRequest& request, bool create);

    TList Physical_;
    TList Memory_;
};

}  // namespace dezede
