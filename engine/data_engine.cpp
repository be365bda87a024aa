#include "engine/data_engine.h"

#include <algorithm>
#include <atomic>

#include "engine/data_session.h"
#include "platform/clock.h"

namespace dezede {

namespace {

std::atomic<TDataEngine*> gInstance{nullptr};

std::string Short(const std::string& s) { return s.size() > 255 ? s.substr(0, 255) : s; }

}  // namespace

TDataEngine::TDataEngine() : SignatureDigest_(MD5Digest(kDefaultSignature)) {
    // Process-wide objects the engine uses up to its destruction: constructing
    // them first makes them outlive an engine that is freed at process exit.
    TFileRegistry::Instance();
    TErrorContextStore::Instance();
    TDataEngine* expected = nullptr;
    gInstance.compare_exchange_strong(expected, this);
}

TDataEngine::~TDataEngine() {
    if (Active_) Shutdown();
    std::vector<std::unique_ptr<TDataSession>> sessions;
    {
        std::lock_guard lock(SessionsMutex_);
        sessions.swap(Sessions_);
    }
    // Free last to first, outside the lock: freeing a session closes what it owns.
    while (!sessions.empty()) sessions.pop_back();
    TDataEngine* self = this;
    gInstance.compare_exchange_strong(self, nullptr);
}

TDataEngine* TDataEngine::Instance() { return gInstance.load(); }

void TDataEngine::SetEngineSignature(const std::string& value) {
    EngineSignature_ = Short(value);
    SignatureDigest_ = MD5Digest(EngineSignature_);
}

void TDataEngine::SetLockFileName(const std::string& value) { LockFileName_ = Short(value); }
void TDataEngine::SetTableDataExtension(const std::string& value) { TableDataExtension_ = Short(value); }
void TDataEngine::SetTableIndexExtension(const std::string& value) { TableIndexExtension_ = Short(value); }
void TDataEngine::SetTableBlobExtension(const std::string& value) { TableBlobExtension_ = Short(value); }
void TDataEngine::SetTableDataBackupExtension(const std::string& value) { TableDataBackupExtension_ = Short(value); }
void TDataEngine::SetTableIndexBackupExtension(const std::string& value) {
    TableIndexBackupExtension_ = Short(value);
}
void TDataEngine::SetTableBlobBackupExtension(const std::string& value) { TableBlobBackupExtension_ = Short(value); }
void TDataEngine::SetTableDataUpgradeExtension(const std::string& value) {
    TableDataUpgradeExtension_ = Short(value);
}
void TDataEngine::SetTableIndexUpgradeExtension(const std::string& value) {
    TableIndexUpgradeExtension_ = Short(value);
}
void TDataEngine::SetTableBlobUpgradeExtension(const std::string& value) {
    TableBlobUpgradeExtension_ = Short(value);
}
void TDataEngine::SetTableDataTempExtension(const std::string& value) { TableDataTempExtension_ = Short(value); }
void TDataEngine::SetTableIndexTempExtension(const std::string& value) { TableIndexTempExtension_ = Short(value); }
void TDataEngine::SetTableBlobTempExtension(const std::string& value) { TableBlobTempExtension_ = Short(value); }

void TDataEngine::Startup(const std::string& lockFileName) {
    LockGeometry_ = TLockGeometry::For(LargeFileSupport_);
    FileLimits_ = LargeFileSupport_ ? TFileLimits::Large() : TFileLimits::Standard();
    {
        std::lock_guard lock(RandomMutex_);
        const uint64_t a = RandomSeed(), b = RandomSeed();
        std::seed_seq seed{static_cast<uint32_t>(a), static_cast<uint32_t>(a >> 32), static_cast<uint32_t>(b),
                           static_cast<uint32_t>(b >> 32)};
        Random_.seed(seed);
    }
    LockFileName_ = Short(lockFileName);
    Active_ = true;
}

void TDataEngine::Shutdown() {
    FileRegistry().FreeUnused(false);
    FileRegistry().FreeUnused(true);
    Active_ = false;
}

namespace {
TCacheBudget Budget(int32_t size, int32_t count) {
    return {static_cast<uint32_t>(std::max(size, 0)), static_cast<uint32_t>(std::max(count, 0))};
}
}  // namespace

TCacheBudget TDataEngine::DataCacheBudget() const {
    return Budget(MaxTableDataBufferSize_, MaxTableDataBufferCount_);
}
TCacheBudget TDataEngine::IndexCacheBudget() const {
    return Budget(MaxTableIndexBufferSize_, MaxTableIndexBufferCount_);
}
TCacheBudget TDataEngine::BlobCacheBudget() const {
    return Budget(MaxTableBlobBufferSize_, MaxTableBlobBufferCount_);
}

uint32_t TDataEngine::Random(uint32_t upper) {
    std::lock_guard lock(RandomMutex_);
    return std::uniform_int_distribution<uint32_t>(0, upper)(Random_);
}

TDataSession* TDataEngine::CreateSession() {
    auto session = std::make_unique<TDataSession>(*this);
    TDataSession* result = session.get();
    std::lock_guard lock(SessionsMutex_);
    Sessions_.push_back(std::move(session));
    return result;
}

void TDataEngine::FreeSession(TDataSession* session) {
    std::unique_ptr<TDataSession> owned;
    {
        std::lock_guard lock(SessionsMutex_);
        auto it = std::find_if(Sessions_.begin(), Sessions_.end(),
                               [session](const auto& s) { return s.get() == session; });
        if (it == Sessions_.end()) return;
        owned = std::move(*it);
        Sessions_.erase(it);
    }
    // owned is freed here, outside the registry's lock.
}

size_t TDataEngine::SessionCount() const {
    std::lock_guard lock(SessionsMutex_);
    return Sessions_.size();
}

void TDataEngine::RaiseError(uint16_t code, const TErrorArgs& args) const { dezede::RaiseError(code, args); }

TErrorContext TDataEngine::LastError() const { return TErrorContextStore::Instance().Last(); }

std::string TDataEngine::TableVersionText(uint32_t version) {
    static const char* const kTexts[] = {"1.00", "1.02", "1.04", "1.08", "2.00", "3.00", "4.00"};
    return version < std::size(kTexts) ? kTexts[version] : "";
}

}  // namespace dezede
