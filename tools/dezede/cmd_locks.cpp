// dezede locks DIR [--json]: who holds what in a data directory. Reads the
// lock file's slot list and asks the kernel, for each table, which of its
// lock bytes other processes hold (F_OFD_GETLK walks; no lock is taken).

#include <algorithm>
#include <iomanip>
#include <iostream>
#include <optional>
#include <sstream>

#include <nlohmann/json.hpp>

#include "engine/lock_file_list.h"
#include "engine/lock_geometry.h"
#include "platform/file_names.h"
#include "platform/lock_probe.h"
#include "support/endian.h"
#include "tools/dezede/command.h"
#include "tools/dezede/table_access.h"

namespace dezede::tool {
namespace {

constexpr size_t kMaxListedRecords = 100000;

struct TLockFileInfo {
    std::string Path;
    int32_t ChangeCounter = 0;
    std::vector<std::string> Slots;  // slot k is Slots[k - 1]
};

struct TTableInfo {
    std::string Name;
    uint32_t Slot = 0;  // 0: no slot in the lock file
    std::vector<uint32_t> Semaphores;
    std::vector<uint32_t> Records;
    bool RecordsCut = false;
    bool WholeTable = false;
    bool Read = false;
    bool Write = false;
    bool Trans = false;
    std::string Error;  // the data file could not be probed
};

std::string StripSlash(std::string dir) {
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

bool ReadLockFile(const std::string& path, TLockFileInfo* info) {
    TLockProbe file;
    if (file.Open(path) != 0) return false;
    info->Path = path;
    uint8_t header[kLockFileHeaderSize] = {};
    const size_t got = file.ReadAt(header, sizeof header, 0);
    if (got >= 4) info->ChangeCounter = LoadLE32s(header);
    const int32_t length = got >= 8 ? LoadLE32s(header + 4) : 4;
    std::vector<uint8_t> entries(LockFileEntryBytes(length));
    entries.resize(file.ReadAt(entries.data(), entries.size(), kLockFileHeaderSize));
    info->Slots = ParseLockFileEntries(entries.data(), entries.size());
    return true;
}

// Bytes of region covered by spans, as (first, last) pairs clipped to it.
std::vector<std::pair<uint64_t, uint64_t>> Covered(const std::vector<TLockSpan>& spans, const TLockRegion& region) {
    std::vector<std::pair<uint64_t, uint64_t>> out;
    for (const TLockSpan& s : spans) {
        const uint64_t lo = std::max(s.Offset, region.Offset);
        const uint64_t hi = std::min(s.Last(), region.Last());
        if (lo <= hi) out.emplace_back(lo, hi);
    }
    return out;
}

bool CoversAll(const std::vector<TLockSpan>& spans, const TLockRegion& region) {
    auto parts = Covered(spans, region);
    std::sort(parts.begin(), parts.end());
    uint64_t next = region.Offset;
    for (const auto& [lo, hi] : parts) {
        if (lo > next) return false;
        if (hi >= next) {
            if (hi == region.Last()) return true;
            next = hi + 1;
        }
    }
    return false;
}

bool AnyIn(const std::vector<TLockSpan>& spans, const TLockRegion& region) { return !Covered(spans, region).empty(); }

void ProbeTable(const std::string& dir, const std::string& dataFile, const TLockGeometry& g,
                const std::vector<TLockSpan>& lockFileSpans, TTableInfo* t) {
    if (t->Slot != 0) {
        const TLockRegion table = g.TableWriteRegion(t->Slot);
        t->Write = CoversAll(lockFileSpans, table);
        t->Read = !t->Write && AnyIn(lockFileSpans, table);
        t->Trans = AnyIn(lockFileSpans, g.TransByte(t->Slot));
    }
    TLockProbe data;
    if (data.Open(dir + "/" + dataFile) != 0) {
        t->Error = "cannot open " + dataFile;
        return;
    }
    std::vector<TLockSpan> spans;
    const TLockRegion all{g.AllSemaphoresRegion().Offset, g.RecordLockSpan + TLockGeometry::kMaxSemaphore};
    if (!data.Walk(all.Offset, all.Length, &spans)) {
        t->Error = "the kernel refused to list the locks of " + dataFile;
        return;
    }
    const TLockRegion records = g.AllRecordsRegion();
    t->WholeTable = CoversAll(spans, records);
    if (!t->WholeTable) {
        for (const auto& [lo, hi] : Covered(spans, records)) {
            // Record n is the byte B - n: walk from the highest byte down.
            for (uint64_t b = hi + 1; b-- > lo;) {
                if (t->Records.size() >= kMaxListedRecords) {
                    t->RecordsCut = true;
                    break;
                }
                t->Records.push_back(static_cast<uint32_t>(g.LockBase - b));
            }
        }
        std::sort(t->Records.begin(), t->Records.end());
    }
    for (const auto& [lo, hi] : Covered(spans, g.AllSemaphoresRegion()))
        for (uint64_t b = lo; b <= hi; ++b) t->Semaphores.push_back(static_cast<uint32_t>(g.LockBase - g.RecordLockSpan - b));
    std::sort(t->Semaphores.begin(), t->Semaphores.end());
}

std::string Numbers(const std::vector<uint32_t>& v, bool cut) {
    if (v.empty()) return "-";
    std::ostringstream out;
    for (size_t i = 0; i < v.size(); ++i) out << (i ? "," : "") << v[i];
    if (cut) out << ",...";
    return out.str();
}

int Run(const std::vector<std::string>& args) {
    std::string dir, lockName;
    bool json = false, large = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json") {
            json = true;
        } else if (args[i] == "--large-file-support") {
            large = true;
        } else if (args[i] == "--lock-file" && i + 1 < args.size()) {
            lockName = args[++i];
        } else if (dir.empty() && !args[i].starts_with("--")) {
            dir = args[i];
        } else {
            std::cerr << "usage: dezede locks DIR [--json] [--lock-file NAME] [--large-file-support]\n";
            return kExitUsage;
        }
    }
    if (dir.empty()) {
        std::cerr << "usage: dezede locks DIR [--json] [--lock-file NAME] [--large-file-support]\n";
        return kExitUsage;
    }
    dir = StripSlash(dir);
    const TLockGeometry g = TLockGeometry::For(large);
    if (!OSDirectoryExists(dir)) {
        std::cerr << "dezede: no such directory: " << dir << "\n";
        return kExitFailure;
    }

    std::optional<TLockFileInfo> lockFile;
    std::vector<TLockSpan> lockSpans;
    if (auto path = FindLockFile(dir, lockName)) {
        TLockFileInfo info;
        if (ReadLockFile(*path, &info)) {
            TLockProbe probe;
            const TLockRegion all{g.AllWriteRegion().Offset, g.LockBase - g.AllWriteRegion().Offset};
            if (probe.Open(*path) != 0 || !probe.Walk(all.Offset, all.Length, &lockSpans)) {
                std::cerr << "dezede: cannot list the locks of " << *path << "\n";
                return kExitFailure;
            }
            lockFile = std::move(info);
        } else if (!lockName.empty()) {
            std::cerr << "dezede: cannot open the lock file " << *path << "\n";
            return kExitFailure;
        }
    }

    std::vector<std::string> dataFiles = OSListFiles(dir, ".dat");
    std::sort(dataFiles.begin(), dataFiles.end(),
              [](const std::string& a, const std::string& b) { return CompareNoCase(a, b) < 0; });
    std::vector<TTableInfo> tables;
    for (const std::string& file : dataFiles) {
        TTableInfo t;
        t.Name = file.substr(0, file.size() - 4);
        if (lockFile) {
            for (size_t k = 0; k < lockFile->Slots.size(); ++k) {
                if (CompareNoCase(lockFile->Slots[k], t.Name) == 0) {
                    t.Slot = static_cast<uint32_t>(k + 1);
                    break;
                }
            }
        }
        ProbeTable(dir, file, g, lockSpans, &t);
        tables.push_back(std::move(t));
    }

    if (json) {
        nlohmann::ordered_json out;
        if (lockFile) {
            nlohmann::ordered_json slots = nlohmann::ordered_json::array();
            for (size_t k = 0; k < lockFile->Slots.size(); ++k)
                slots.push_back({{"slot", k + 1}, {"table", lockFile->Slots[k]}});
            out["lock_file"] = {{"path", lockFile->Path}, {"change_counter", lockFile->ChangeCounter}, {"slots", slots}};
        } else {
            out["lock_file"] = nullptr;
        }
        out["tables"] = nlohmann::ordered_json::array();
        for (const TTableInfo& t : tables) {
            nlohmann::ordered_json j;
            j["table"] = t.Name;
            j["slot"] = t.Slot ? nlohmann::ordered_json(t.Slot) : nlohmann::ordered_json(nullptr);
            j["semaphores"] = t.Semaphores;
            j["records"] = t.Records;
            if (t.RecordsCut) j["records_cut"] = true;
            j["whole_table_locked"] = t.WholeTable;
            j["read_locked"] = t.Read;
            j["write_locked"] = t.Write;
            j["transaction_locked"] = t.Trans;
            if (!t.Error.empty()) j["error"] = t.Error;
            out["tables"].push_back(std::move(j));
        }
        // Names are single-byte text of the tables' code page: never fail on them.
        std::cout << out.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
        return kExitOk;
    }

    if (lockFile) {
        std::cout << "lock file " << lockFile->Path << ": change counter " << lockFile->ChangeCounter << ", "
                  << lockFile->Slots.size() << " slot" << (lockFile->Slots.size() == 1 ? "" : "s") << "\n";
        for (size_t k = 0; k < lockFile->Slots.size(); ++k)
            std::cout << std::setw(6) << k + 1 << "  " << lockFile->Slots[k] << "\n";
    } else {
        std::cout << "no lock file in " << dir << "\n";
    }
    std::cout << "\n" << std::left << std::setw(24) << "table" << std::right << std::setw(5) << "slot"
              << "  read  write trans whole  semaphores / records\n";
    for (const TTableInfo& t : tables) {
        auto yn = [](bool b) { return b ? "yes   " : "no    "; };
        std::cout << std::left << std::setw(24) << t.Name << std::right << std::setw(5)
                  << (t.Slot ? std::to_string(t.Slot) : "-") << "  " << yn(t.Read) << yn(t.Write) << yn(t.Trans)
                  << yn(t.WholeTable) << Numbers(t.Semaphores, false) << " / " << Numbers(t.Records, t.RecordsCut);
        if (!t.Error.empty()) std::cout << "  (" << t.Error << ")";
        std::cout << "\n";
    }
    return kExitOk;
}

TCommandRegistration reg{{
    "locks",
    "DIR [--json] [--lock-file NAME] [--large-file-support]",
    "Show the lock file's slots and the locks other processes hold",
    "Lists the slots of the directory's lock file (\"dezede.lck\", or the only\n"
    "*.lck file, or --lock-file NAME) and, for every table (*.dat), the\n"
    "semaphores and record numbers that any process holds, and whether its\n"
    "whole-table lock and its table read, write and transaction locks are held.\n"
    "The kernel is asked for conflicting locks over each region; no lock is\n"
    "taken. --large-file-support reads the lock offsets of engines that run with\n"
    "LargeFileSupport on. --json prints\n"
    "  {\"lock_file\": {\"path\", \"change_counter\", \"slots\": [{\"slot\", \"table\"}]},\n"
    "   \"tables\": [{\"table\", \"slot\", \"semaphores\", \"records\",\n"
    "               \"whole_table_locked\", \"read_locked\", \"write_locked\",\n"
    "               \"transaction_locked\"}]}\n"
    "(lock_file is null without a lock file, slot null for a table without one).\n",
    Run,
}};

}  // namespace
}  // namespace dezede::tool
