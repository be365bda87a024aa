#include "engine/engine_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "engine/error_codes.h"
#include "engine/error_context.h"
#include "engine/file_registry.h"
#include "engine/os_error.h"
#include "support/compression.h"

namespace dezede {

namespace {

// Largest stored piece a reader accepts (a deflated 64 KB piece is at most a
// little longer than the piece; compression hooks get some room beyond that).
constexpr uint32_t kMaxStoredPiece = 2 * kCopyPieceSize;

uint32_t LoadLE32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

void StoreLE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// One zlib stream into at most kCopyPieceSize bytes; the byte count or -1.
int64_t InflatePiece(const uint8_t* in, uint32_t count, std::vector<uint8_t>& out) {
    if (!DecompressBuffer(in, count, out, kCopyPieceSize)) return -1;
    return static_cast<int64_t>(out.size());
}

// Reports 0 first, then every advance of at least `step` percent, then 100.
class TProgressReport {
public:
    TProgressReport(const TCopyOptions& options, std::string name, uint64_t total)
        : Callback_(options.Progress), Step_(std::max(1, options.ProgressStep)), Name_(std::move(name)), Total_(total) {
        Report(0);
    }
    void Advance(uint64_t done) {
        if (!Callback_ || Total_ == 0) return;
        const int percent = static_cast<int>(std::lround(static_cast<double>(std::min(done, Total_)) * 100.0 /
                                                         static_cast<double>(Total_)));
        if (percent >= 100 || percent - Last_ < Step_) return;
        Report(percent);
    }
    void Finish() { Report(100); }

private:
    void Report(int percent) {
        Last_ = percent;
        if (Callback_) Callback_(Name_, percent);
    }
    const TCopyProgress& Callback_;
    int Step_;
    std::string Name_;
    uint64_t Total_;
    int Last_ = 0;
};

// Seek and transfer as one step under the file's handle lock.
uint32_t ReadAt(TEngineFile& file, uint64_t position, void* buffer, uint32_t count, bool allowShort) {
    TFileAccess access(file);
    file.Seek(kSeekFromStart, position);
    return file.Read(buffer, count, allowShort);
}

void WriteAt(TEngineFile& file, uint64_t position, const void* buffer, uint32_t count) {
    TFileAccess access(file);
    file.Seek(kSeekFromStart, position);
    file.Write(buffer, count);
}

}  // namespace

TEngineFile::TEngineFile(TFileRegistry& registry, std::string fileName, bool inMemory)
    : Registry_(registry), FileName_(std::move(fileName)), InMemory_(inMemory) {}

TEngineFile::~TEngineFile() {
    if (File_) Registry_.Close(File_, Handle_);
}

void TEngineFile::OpenOrCreate(bool create) {
    if (File_) return;
    TFileOpenRequest request;
    request.Name = FileName_;
    request.InMemory = InMemory_;
    request.Exclusive = Exclusive;
    request.ReadOnly = ReadOnly;
    request.Temporary = Temporary;
    request.Hidden = Hidden;
    request.NewOnly = NewOnly;
    const TFileOpenResult r = create ? Registry_.Create(request) : Registry_.Open(request);
    if (!r.File) RaiseError(r.Error, {.Table = ErrorName()});
    File_ = r.File;
    Handle_ = r.Handle;
    EffectiveReadOnly_ = r.ReadOnly;
    ReadOnlyOnDisk_ = r.ReadOnlyOnDisk;
}

void TEngineFile::Open() { OpenOrCreate(false); }

void TEngineFile::Create() { OpenOrCreate(true); }

void TEngineFile::Close() {
    if (!File_) return;
    TBaseFile* file = std::exchange(File_, nullptr);
    Registry_.Close(file, Handle_);
    Handle_ = 0;
}

void TEngineFile::Delete() {
    if (const uint16_t err = Registry_.Delete(FileName_, InMemory_)) RaiseError(err, {.Table = ErrorName()});
}

void TEngineFile::Rename(const std::string& newName) {
    if (const uint16_t err = Registry_.Rename(FileName_, newName, InMemory_)) RaiseError(err, {.Table = ErrorName()});
    FileName_ = newName;
}

uint32_t TEngineFile::Read(void* buffer, uint32_t count, bool allowShort) {
    if (!File_) RaiseError(DEZEDE_READERR, {.Table = ErrorName()});
    bool failed = false;
    const uint32_t n = File_->ReadData(Handle_, buffer, count, &failed);
    if (failed || (n < count && !allowShort)) RaiseError(DEZEDE_READERR, {.Table = ErrorName()});
    return n;
}

void TEngineFile::Write(const void* buffer, uint32_t count) {
    if (!File_) RaiseError(DEZEDE_WRITEERR, {.Table = ErrorName()});
    if (EffectiveReadOnly_) {
        // Also when the handle shares a descriptor that another handle opened for writing.
        TErrorContextStore::Instance().SetOSError(DEZEDE_OSEACCES);
        RaiseError(DEZEDE_WRITEERR, {.Table = ErrorName()});
    }
    bool failed = false;
    const uint32_t n = File_->WriteData(Handle_, buffer, count, &failed);
    if (failed || n < count) RaiseError(DEZEDE_WRITEERR, {.Table = ErrorName()});
}

void TEngineFile::FlushToDisk() {
    if (!File_ || !File_->FlushFile(Handle_)) RaiseError(DEZEDE_WRITEERR, {.Table = ErrorName()});
}

uint64_t TEngineFile::Seek(int origin, uint64_t offset) {
    if (!File_) RaiseError(DEZEDE_OSEBADF, {.Table = ErrorName()});
    return File_->SeekFile(Handle_, origin, offset);
}

uint64_t TEngineFile::GetFileSize() {
    if (!File_) RaiseError(DEZEDE_OSEBADF, {.Table = ErrorName()});
    return File_->GetSize();
}

bool TEngineFile::LockRegion(uint64_t offset, uint64_t length, bool lock) {
    if (!File_) return false;
    return lock ? File_->LockRegion(offset, length) : File_->UnlockRegion(offset, length);
}

std::vector<TLockRegion> TEngineFile::UnlockRegions(std::span<const TLockRegion> regions) {
    if (!File_) return {regions.begin(), regions.end()};
    return File_->UnlockRegions(regions);
}

void TEngineFile::BeginAccess() {
    if (!File_) RaiseError(DEZEDE_OSEBADF, {.Table = ErrorName()});
    File_->HandleLock().lock();
}

void TEngineFile::EndAccess() {
    if (File_) File_->HandleLock().unlock();
}

// --- Copies ---

void TEngineFile::WriteStoredCopy(TEngineFile& target, const TCopyOptions& options) {
    const bool compress = options.CompressionLevel > 0;
    if (compress && options.CompressionLevel > 9) RaiseError(DEZEDE_COMPRESS);
    const uint64_t total = GetFileSize();
    uint64_t out = target.Seek(kSeekFromCurrent, 0);
    TProgressReport progress(options, FileName_, total);
    if (compress) {
        uint8_t prefix[kCompressedCopyPrefixSize];
        std::memcpy(prefix, kCompressedCopyMarker.data(), kCompressedCopyMarker.size());
        prefix[16] = static_cast<uint8_t>(options.CompressionLevel);
        WriteAt(target, out, prefix, sizeof prefix);
        out += sizeof prefix;
    }
    std::vector<uint8_t> piece(kCopyPieceSize);
    std::vector<uint8_t> packed;
    for (uint64_t done = 0; done < total;) {
        const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(kCopyPieceSize, total - done));
        ReadAt(*this, done, piece.data(), count, false);
        if (compress) {
            if (!CompressBuffer(piece.data(), count, options.CompressionLevel, packed) ||
                packed.size() > kMaxStoredPiece)
                RaiseError(DEZEDE_COMPRESS);
            uint8_t length[4];
            StoreLE32(length, static_cast<uint32_t>(packed.size()));
            WriteAt(target, out, length, 4);
            WriteAt(target, out + 4, packed.data(), static_cast<uint32_t>(packed.size()));
            out += 4 + packed.size();
        } else {
            WriteAt(target, out, piece.data(), count);
            out += count;
        }
        done += count;
        progress.Advance(done);
    }
    target.Seek(kSeekFromStart, out);
    progress.Finish();
}

void TEngineFile::ReadStoredCopy(TEngineFile& source, uint64_t length, bool toEnd, TEngineFile* target,
                                 const TCopyOptions& options, uint64_t* storedSize) {
    const uint64_t start = source.Seek(kSeekFromCurrent, 0);
    const uint64_t sourceSize = toEnd ? source.GetFileSize() : 0;
    const uint64_t total = toEnd ? (sourceSize > start ? sourceSize - start : 0) : length;
    TProgressReport progress(options, source.GetFileName(), target ? total : 0);
    uint64_t in = start;
    uint64_t done = 0;  // bytes restored
    std::vector<uint8_t> piece;  // grown to the largest piece met
    std::vector<uint8_t> plain;

    uint8_t prefix[kCompressedCopyPrefixSize];
    const uint32_t got = ReadAt(source, in, prefix, 16, true);
    const bool compressed = got == 16 && std::memcmp(prefix, kCompressedCopyMarker.data(), 16) == 0;
    if (compressed) {
        ReadAt(source, in + 16, prefix + 16, 1, false);  // the level, not needed to inflate
        in += kCompressedCopyPrefixSize;
        while (toEnd || done < length) {
            uint8_t head[4];
            const uint32_t n = ReadAt(source, in, head, 4, toEnd);
            if (n < 4) break;  // the end of the stored file
            const int32_t stored = static_cast<int32_t>(LoadLE32(head));
            in += 4;
            if (stored < 1) {
                if (toEnd) break;
                RaiseError(DEZEDE_UNCOMPRESS);
            }
            if (static_cast<uint32_t>(stored) > kMaxStoredPiece) RaiseError(DEZEDE_UNCOMPRESS);
            const uint32_t count = static_cast<uint32_t>(stored);
            if (!target && !toEnd) {
                // Measuring: pieces are whole 64 KB but the last, so skip without inflating.
                in += count;
                done += std::min<uint64_t>(kCopyPieceSize, length - done);
                continue;
            }
            if (piece.size() < count) piece.resize(count);
            ReadAt(source, in, piece.data(), count, false);
            in += count;
            const int64_t inflated = InflatePiece(piece.data(), count, plain);
            if (inflated < 0) RaiseError(DEZEDE_UNCOMPRESS);
            // With a known length every piece is whole 64 KB except the last.
            if (!toEnd && static_cast<uint64_t>(inflated) != std::min<uint64_t>(kCopyPieceSize, length - done))
                RaiseError(DEZEDE_UNCOMPRESS);
            if (target) WriteAt(*target, done, plain.data(), static_cast<uint32_t>(inflated));
            done += static_cast<uint64_t>(inflated);
            progress.Advance(toEnd ? in - start : done);
        }
    } else {
        while (toEnd || done < length) {
            const uint32_t want =
                toEnd ? kCopyPieceSize : static_cast<uint32_t>(std::min<uint64_t>(kCopyPieceSize, length - done));
            uint32_t n = want;
            if (target) {
                if (plain.size() < want) plain.resize(want);
                n = ReadAt(source, in, plain.data(), want, toEnd);
                if (n > 0) WriteAt(*target, done, plain.data(), n);
            }
            in += n;
            done += n;
            progress.Advance(done);
            if (n < want) break;
        }
    }
    // Measuring skipped over bytes it did not read: they must exist.
    if (!target && source.GetFileSize() < in) RaiseError(DEZEDE_READERR, {.Table = source.ErrorName()});
    if (target) {
        TFileAccess access(*target);
        target->Seek(kSeekFromStart, done);
        target->Write(nullptr, 0);
    }
    source.Seek(kSeekFromStart, in);
    if (storedSize) *storedSize = in - start;
    progress.Finish();
}

void TEngineFile::CopyToFile(const std::string& target, const TCopyOptions& options) {
    TEngineFile file(Registry_, target, InMemory_);
    file.Create();
    WriteStoredCopy(file, options);
    file.Close();
}

void TEngineFile::CopyToOpenFile(TEngineFile& target, const TCopyOptions& options) { WriteStoredCopy(target, options); }

void TEngineFile::CopyFromFile(const std::string& source, const TCopyOptions& options) {
    TEngineFile file(Registry_, source, InMemory_);
    file.ReadOnly = true;
    file.Open();
    file.Seek(kSeekFromStart, 0);  // a physical file's position is shared with its other handles
    ReadStoredCopy(file, 0, true, this, options, nullptr);
    file.Close();
}

void TEngineFile::CopyFromOpenFile(TEngineFile& source, uint64_t length, const TCopyOptions& options) {
    ReadStoredCopy(source, length, false, this, options, nullptr);
}

uint64_t TEngineFile::MeasureStoredCopy(TEngineFile& source, uint64_t length) {
    uint64_t stored = 0;
    ReadStoredCopy(source, length, false, nullptr, TCopyOptions{}, &stored);
    return stored;
}

}  // namespace dezede
