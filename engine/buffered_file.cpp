#include "engine/buffered_file.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/error_codes.h"
#include "engine/error_context.h"

namespace dezede {

namespace {

// A run write larger than this is split. The bound keeps the staging block
// small enough for the allocator to reuse its memory from run to run instead
// of mapping (and faulting in) fresh pages for every large run.
constexpr uint64_t kMaxRunBytes = 1ull << 20;

}  // namespace

uint32_t CacheCapacityFor(const TCacheBudget& budget, uint32_t bufferBytes, uint32_t allowance) {
    const uint64_t per = uint64_t{bufferBytes} + allowance;
    const uint64_t byBytes = per == 0 ? budget.MaxBufferCount : budget.MaxBufferSize / per;
    return static_cast<uint32_t>(std::max<uint64_t>(1, std::min<uint64_t>(budget.MaxBufferCount, byBytes)));
}

TBufferedFile::TBufferedFile(TFileRegistry& registry, std::string fileName, bool inMemory)
    : TEngineFile(registry, std::move(fileName), inMemory) {}

TBufferedFile::~TBufferedFile() {
    DiscardBuffers();
    Detached_.clear();
}

void TBufferedFile::EncryptImage(uint8_t* image, size_t count) const {
    // Only whole 8-byte blocks are enciphered; the tail stays in clear.
    const size_t whole = count - count % 8;
    if (Cipher_ && whole > 0) Cipher_.Encrypt(image, whole);
}

void TBufferedFile::DecryptImage(uint8_t* image, size_t count) const {
    const size_t whole = count - count % 8;
    if (Cipher_ && whole > 0) Cipher_.Decrypt(image, whole);
}

void TBufferedFile::ReadImageAt(uint64_t offset, uint8_t* image, size_t count, bool enciphered) {
    {
        TFileAccess access(*this);
        Seek(kSeekFromStart, offset);
        Read(image, static_cast<uint32_t>(count));
    }
    if (enciphered) DecryptImage(image, count);
}

void TBufferedFile::WriteImageAt(uint64_t offset, uint8_t* image, size_t count, bool enciphered) {
    if (enciphered) EncryptImage(image, count);
    TFileAccess access(*this);
    Seek(kSeekFromStart, offset);
    Write(image, static_cast<uint32_t>(count));
}

void TBufferedFile::WriteHeaderImage(uint8_t* image, size_t count, bool enciphered) {
    WriteImageAt(0, image, count, enciphered);
    if (Table_) Table_->MarkWritten();
}

void TBufferedFile::RaiseCorruption() const {
    RaiseError(CorruptionCode(), {.Table = Table_ ? Table_->TableName() : GetFileName()});
}

// --- Opening ---

void TBufferedFile::Open() {
    if (IsOpen()) return;
    TEngineFile::Open();
    ResetStatistics();
}

void TBufferedFile::Create() {
    if (IsOpen()) return;
    TEngineFile::Create();
    ResetStatistics();
}

void TBufferedFile::Close() {
    DiscardBuffers();
    TEngineFile::Close();
}

void TBufferedFile::ResetStatistics() {
    Stats_ = {};
    CacheListCapacity_ = std::max<uint32_t>(1, CacheCapacity());
    ReadAheadLimit_ = std::max<uint32_t>(1, ReadAheadLimit());
}

// --- Recently-used list ---
//
// The recently-used order is the main list (Head_ .. Tail_) followed by the
// parked list (ParkedHead_ .. ParkedTail_). The victim search moves each dirty
// or pinned buffer it passes from the main list's tail to the parked list's
// head, so that it never walks past the same buffer twice (a transaction that
// makes every buffer dirty would otherwise make each search walk the whole
// cache). A parked buffer returns when it is used (to the head), when it
// becomes clean and unpinned (with the parked buffers newer than it, to the
// main list's tail) and when the buffers are flushed (all of them); none of
// these moves changes the order.

void TBufferedFile::LinkAtHead(TBuffer* b) {
    b->Previous = nullptr;
    b->Next = Head_;
    if (Head_) Head_->Previous = b;
    Head_ = b;
    if (!Tail_) Tail_ = b;
}

void TBufferedFile::Unlink(TBuffer* b) {
    TBuffer*& head = b->Parked ? ParkedHead_ : Head_;
    TBuffer*& tail = b->Parked ? ParkedTail_ : Tail_;
    if (b->Previous) b->Previous->Next = b->Next; else head = b->Next;
    if (b->Next) b->Next->Previous = b->Previous; else tail = b->Previous;
    b->Next = b->Previous = nullptr;
    b->Parked = false;
}

void TBufferedFile::MoveToHead(TBuffer* b) {
    if (Head_ == b) return;
    Unlink(b);
    LinkAtHead(b);
}

void TBufferedFile::Park(TBuffer* b) {
    Unlink(b);
    b->Parked = true;
    b->Next = ParkedHead_;
    if (ParkedHead_) ParkedHead_->Previous = b; else ParkedTail_ = b;
    ParkedHead_ = b;
}

void TBufferedFile::UnparkThrough(TBuffer* last) {
    TBuffer* const first = ParkedHead_;
    TBuffer* const rest = last->Next;
    for (TBuffer* b = first; b != rest; b = b->Next) b->Parked = false;
    ParkedHead_ = rest;
    if (rest) rest->Previous = nullptr; else ParkedTail_ = nullptr;
    last->Next = nullptr;
    first->Previous = Tail_;
    if (Tail_) Tail_->Next = first; else Head_ = first;
    Tail_ = last;
}

void TBufferedFile::UnparkAll() {
    if (ParkedTail_) UnparkThrough(ParkedTail_);
}

std::vector<int32_t> TBufferedFile::RecentlyUsedNumbers() const {
    std::vector<int32_t> numbers;
    for (const TBuffer* b = Head_; b; b = b->Next) numbers.push_back(b->Number);
    for (const TBuffer* b = ParkedHead_; b; b = b->Next) numbers.push_back(b->Number);
    return numbers;
}

// --- Cache list ---

TBuffer* TBufferedFile::CachedBuffer(int32_t number) const {
    return Cache_.Find(number);
}

void TBufferedFile::InsertCached(std::unique_ptr<TBuffer> buffer) {
    TBuffer* raw = buffer.get();
    Cache_.Insert(std::move(buffer));
    LinkAtHead(raw);
}

std::unique_ptr<TBuffer> TBufferedFile::ExtractCached(TBuffer* buffer) {
    std::unique_ptr<TBuffer> owned = Cache_.Extract(buffer->Number);
    Unlink(buffer);
    return owned;
}

TBuffer* TBufferedFile::FindVictim() {
    while (TBuffer* b = Tail_) {
        if (!b->Dirty && b->PinCount == 0) return b;
        Park(b);
    }
    return nullptr;
}

std::unique_ptr<TBuffer> TBufferedFile::ObtainBuffer(int32_t initValue, bool forLoad) {
    if (Cache_.size() < CacheListCapacity_) {
        std::unique_ptr<TBuffer> b = NewBuffer();
        b->Clear(initValue);
        return b;
    }
    TBuffer* victim = FindVictim();
    if (!victim && !InTransaction()) {
        FlushBuffers(true);
        victim = FindVictim();
    }
    if (victim) {
        std::unique_ptr<TBuffer> b = ExtractCached(victim);
        if (!forLoad) b->Clear(initValue);
        b->Number = 0;
        return b;
    }
    // Everything is dirty or pinned: grow rather than fail.
    CacheListCapacity_ += std::max<uint32_t>(1, GrowthStep());
    std::unique_ptr<TBuffer> b = NewBuffer();
    b->Clear(initValue);
    return b;
}

// --- Getting and releasing ---

void TBufferedFile::CheckAppend() {
    const int32_t last = LastBufferNumber();
    const uint64_t nextEnd = DataStart() + (static_cast<uint64_t>(last) + 1) * DiskBufferSize();
    if (last == INT32_MAX || nextEnd > Limits_.MaxFileSize ||
        (LimitsRecordNumber() && static_cast<uint64_t>(last) >= Limits_.MaxRecordNumber))
        RaiseError(DEZEDE_TABLEFULL, {.Table = Table_ ? Table_->TableName() : GetFileName()});
}

bool TBufferedFile::GetBuffer(const TCursorHints* cursor, int32_t initValue, TBuffer** buffer,
                              TReadAheadDirection direction, bool readAheadAllowed, int32_t number) {
    *buffer = nullptr;
    if (number <= 0) RaiseCorruption();
    if (CacheListCapacity_ == 0) ResetStatistics();
    const int32_t last = LastBufferNumber();

    if (last >= 0 && last < INT32_MAX && number == last + 1) {
        // Appending: a new buffer at the end of the file. It is dirty from the
        // start so that it reaches the file even if the caller leaves it as it is.
        CheckAppend();
        std::unique_ptr<TBuffer> b = ObtainBuffer(initValue);
        AdvanceLastBufferNumber();
        b->Number = number;
        b->Dirty = true;
        b->PinCount = 1;
        TBuffer* raw = b.get();
        InsertCached(std::move(b));
        ++Stats_.BufferRequests;
        *buffer = raw;
        return true;
    }

    ++Stats_.BufferRequests;
    TBuffer* found = nullptr;
    const uint32_t scanDepth = ScanDepth();
    uint32_t depth = 0;
    for (TBuffer* b = Head_; b && depth < scanDepth; b = b->Next, ++depth) {
        if (b->Number == number) {
            found = b;
            break;
        }
    }
    if (!found) found = CachedBuffer(number);
    if (found) {
        MoveToHead(found);
        ++found->PinCount;
        *buffer = found;
        return true;
    }

    // A miss: first let the table see whether other users changed it.
    if (Table_ && !Table_->StrictChangeDetection() && !(cursor && cursor->OpenedExclusively)) {
        if (Table_->CheckForChanges()) return false;
    }
    uint32_t count = 1;
    int32_t first = number;
    if (readAheadAllowed && direction != kReadAheadNone) {
        uint32_t proposed = cursor ? cursor->ReadAheadCount : ReadAheadLimit_;
        proposed = std::clamp<uint32_t>(proposed, 1, ReadAheadLimit_);
        if (direction == kReadAheadBackward) {
            // Never reaches below buffer 1.
            count = std::min<uint32_t>(proposed, static_cast<uint32_t>(number));
            first = number - static_cast<int32_t>(count) + 1;
        } else if (last >= number) {
            count = std::min<uint32_t>(proposed, static_cast<uint32_t>(last - number + 1));
        }
    }
    TBuffer* result = BatchRead(initValue, first, count, number);
    if (!result) RaiseCorruption();
    if (result->Number != number) {
        ReleaseBuffer(result);
        RaiseCorruption();
    }
    MoveToHead(result);
    *buffer = result;
    return true;
}

bool TBufferedFile::Prefetch(const TCursorHints* cursor, int32_t initValue, std::span<const int32_t> numbers) {
    const int32_t last = LastBufferNumber();
    std::vector<int32_t> missing;
    missing.reserve(numbers.size());
    for (int32_t n : numbers)
        if (n > 0 && n <= last && !CachedBuffer(n)) missing.push_back(n);
    if (missing.empty()) return true;
    if (CacheListCapacity_ == 0) ResetStatistics();
    if (Table_ && !Table_->StrictChangeDetection() && !(cursor && cursor->OpenedExclusively)) {
        if (Table_->CheckForChanges()) return false;
    }
    std::sort(missing.begin(), missing.end());
    missing.erase(std::unique(missing.begin(), missing.end()), missing.end());
    for (size_t i = 0; i < missing.size();) {
        size_t j = i + 1;
        while (j < missing.size() && missing[j] == missing[j - 1] + 1) ++j;
        TBuffer* first = BatchRead(initValue, missing[i], static_cast<uint32_t>(j - i), missing[i]);
        if (!first) RaiseCorruption();
        ReleaseBuffer(first);
        i = j;
    }
    return true;
}

void TBufferedFile::ReleaseBuffer(TBuffer* buffer) {
    if (!buffer) return;
    if (buffer->PinCount > 0) --buffer->PinCount;
    // A parked buffer that can be evicted again goes back where the search looks.
    if (buffer->PinCount == 0 && buffer->Parked && !buffer->Dirty) UnparkThrough(buffer);
    if (buffer->PinCount == 0 && !Detached_.empty()) {
        auto it = std::find_if(Detached_.begin(), Detached_.end(),
                               [&](const std::unique_ptr<TBuffer>& b) { return b.get() == buffer; });
        if (it != Detached_.end()) Detached_.erase(it);
    }
}

// --- Batch reads ---

bool TBufferedFile::InReadWindow(int32_t number) const {
    if (WindowLength_ == 0) return false;
    const uint64_t start = DataStart() + static_cast<uint64_t>(number - 1) * DiskBufferSize();
    const uint64_t end = start + DiskBufferSize();
    return start < WindowStart_ + WindowLength_ && end > WindowStart_;
}

TBuffer* TBufferedFile::BatchRead(int32_t initValue, int32_t first, uint32_t count, int32_t wanted) {
    const uint32_t disk = DiskBufferSize();
    const uint64_t start = DataStart() + static_cast<uint64_t>(first - 1) * disk;
    const uint64_t bytes64 = static_cast<uint64_t>(count) * disk;
    if (bytes64 > UINT32_MAX) RaiseCorruption();
    const uint32_t bytes = static_cast<uint32_t>(bytes64);

    // The read window is cleared and the staging block freed on every exit.
    struct TWindow {
        TBufferedFile& File;
        ~TWindow() {
            File.WindowStart_ = 0;
            File.WindowLength_ = 0;
        }
    } window{*this};
    WindowStart_ = start;
    WindowLength_ = bytes;
    // Not zero-filled: the read fills what is used.
    const std::unique_ptr<uint8_t[]> staging = std::make_unique_for_overwrite<uint8_t[]>(bytes);

    ++Stats_.BatchReads;
    const bool allowShort = (Exclusive || InTransaction()) && Table_ && Table_->WrittenSinceOpened();
    uint32_t got = 0;
    {
        TFileAccess access(*this);
        Seek(kSeekFromStart, start);
        got = Read(staging.get(), bytes, allowShort);
    }
    ++Stats_.ReadCalls;
    Stats_.BytesRead += got;

    // The wanted buffer stays pinned while the others are placed, so that
    // obtaining them cannot evict it; the pin is the caller's on success.
    struct TPin {
        TBufferedFile& File;
        TBuffer* Buffer = nullptr;
        ~TPin() {
            if (Buffer) File.ReleaseBuffer(Buffer);
        }
    } pin{*this};

    const uint32_t whole = got / disk;
    for (uint32_t i = 0; i < whole; ++i) {
        const int32_t number = first + static_cast<int32_t>(i);
        uint8_t* image = staging.get() + static_cast<size_t>(i) * disk;
        TBuffer* placed = CachedBuffer(number);
        if (placed) {
            // Dirty or pinned buffers keep their contents.
            if (!placed->Dirty && placed->PinCount == 0) placed->LoadFromImage(image);
        } else {
            std::unique_ptr<TBuffer> b = ObtainBuffer(initValue, true);
            b->Number = number;
            b->LoadFromImage(image);
            placed = b.get();
            InsertCached(std::move(b));
        }
        if (number == wanted) {
            ++placed->PinCount;
            pin.Buffer = placed;
        }
    }
    return std::exchange(pin.Buffer, nullptr);
}

// --- Flushing ---

void TBufferedFile::WriteRun(const std::vector<TBuffer*>& run, size_t from, size_t to) {
    const uint32_t disk = DiskBufferSize();
    const size_t count = to - from;
    // Not zero-filled: every buffer writes its whole image.
    const size_t bytes = count * disk;
    const std::unique_ptr<uint8_t[]> staging = std::make_unique_for_overwrite<uint8_t[]>(bytes);
    // Saving marks a buffer clean; if the write does not complete, the run is
    // dirty again so that nothing is lost.
    struct TRestore {
        const std::vector<TBuffer*>& Run;
        size_t From, To;
        bool Done = false;
        ~TRestore() {
            if (!Done)
                for (size_t i = From; i < To; ++i) Run[i]->Dirty = true;
        }
    } restore{run, from, to};
    for (size_t i = from; i < to; ++i) run[i]->SaveToImage(staging.get() + (i - from) * disk);
    {
        TFileAccess access(*this);
        Seek(kSeekFromStart, DataStart() + static_cast<uint64_t>(run[from]->Number - 1) * disk);
        Write(staging.get(), static_cast<uint32_t>(bytes));
    }
    restore.Done = true;
    if (Table_) Table_->MarkWritten();
    ++Stats_.WriteCalls;
}

bool TBufferedFile::FlushBuffers(bool evicting) {
    // Written buffers become clean; the search looks at all of them again.
    UnparkAll();
    std::vector<TBuffer*> list;
    bool pinnedDirty = false;
    Cache_.ForEach([&](TBuffer* b) {
        if (!b->Dirty) return;
        if (b->PinCount > 0) {
            pinnedDirty = true;
            return;
        }
        if (!InReadWindow(b->Number)) list.push_back(b);
    });
    if (pinnedDirty && !evicting) RaiseCorruption();
    // Runs of consecutive numbers are written in number order.
    std::sort(list.begin(), list.end(), [](const TBuffer* a, const TBuffer* b) { return a->Number < b->Number; });
    const uint64_t maxRun = std::max<uint64_t>(1, kMaxRunBytes / std::max<uint32_t>(1, DiskBufferSize()));
    bool wrote = false;
    for (size_t i = 0; i < list.size();) {
        size_t j = i + 1;
        while (j < list.size() && list[j]->Number == list[j - 1]->Number + 1 && j - i < maxRun) ++j;
        WriteRun(list, i, j);
        wrote = true;
        i = j;
    }
    return wrote;
}

void TBufferedFile::DiscardBuffers() {
    for (std::unique_ptr<TBuffer>& b : Cache_.ExtractAll()) {
        // A pinned buffer stays alive for its holder until released.
        if (b->PinCount > 0) {
            b->Next = b->Previous = nullptr;
            b->Parked = false;
            Detached_.push_back(std::move(b));
        }
    }
    Head_ = Tail_ = ParkedHead_ = ParkedTail_ = nullptr;
}

void TBufferedFile::TrimBuffers() {
    bool flushed = false;
    while (Cache_.size() > CacheCapacity()) {
        TBuffer* victim = FindVictim();
        if (!victim && !flushed && !InTransaction()) {
            flushed = true;
            FlushBuffers(true);
            victim = FindVictim();
        }
        if (!victim) break;
        ExtractCached(victim);
    }
    CacheListCapacity_ = std::max<uint32_t>(static_cast<uint32_t>(Cache_.size()), std::max<uint32_t>(1, CacheCapacity()));
}

void TBufferedFile::EmptyFile() {
    // Cached buffers past the data start no longer exist in the file.
    DiscardBuffers();
    {
        TFileAccess access(*this);
        Seek(kSeekFromStart, DataStart());
        Write(nullptr, 0);
    }
    if (Table_ && Table_->ForceBufferFlush()) FlushToDisk();
    if (Table_) Table_->MarkWritten();
}

}  // namespace dezede
