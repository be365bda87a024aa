#include "engine/buffer_map.h"

#include <bit>
#include <new>
#include <utility>

namespace dezede {

// Fibonacci hashing: buffer numbers are mostly consecutive, and the product's
// high bits spread them over the table.
size_t TBufferMap::Home(int32_t number) const {
    const uint64_t h = static_cast<uint64_t>(static_cast<uint32_t>(number)) * 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>(h >> (64 - std::countr_zero(Slots_.size())));
}

TBuffer* TBufferMap::Find(int32_t number) const {
    if (Count_ == 0) return nullptr;
    const size_t mask = Slots_.size() - 1;
    for (size_t i = Home(number);; i = (i + 1) & mask) {
        const TSlot& s = Slots_[i];
        if (!s.Buffer) return nullptr;
        if (s.Number == number) return s.Buffer;
    }
}

void TBufferMap::Resize(size_t slots) {
    std::vector<TSlot> old = std::exchange(Slots_, std::vector<TSlot>(slots));
    const size_t mask = Slots_.size() - 1;
    for (const TSlot& s : old) {
        if (!s.Buffer) continue;
        size_t i = Home(s.Number);
        while (Slots_[i].Buffer) i = (i + 1) & mask;
        Slots_[i] = s;
    }
}

void TBufferMap::Insert(std::unique_ptr<TBuffer> buffer) {
    if ((Count_ + 1) * 2 > Slots_.size()) Resize(Slots_.empty() ? kMinSlots : Slots_.size() * 2);
    const size_t mask = Slots_.size() - 1;
    size_t i = Home(buffer->Number);
    while (Slots_[i].Buffer) i = (i + 1) & mask;
    Slots_[i] = {buffer->Number, buffer.release()};
    ++Count_;
}

std::unique_ptr<TBuffer> TBufferMap::Extract(int32_t number) {
    if (Count_ == 0) return nullptr;
    const size_t mask = Slots_.size() - 1;
    size_t i = Home(number);
    for (;; i = (i + 1) & mask) {
        if (!Slots_[i].Buffer) return nullptr;
        if (Slots_[i].Number == number) break;
    }
    std::unique_ptr<TBuffer> owned(Slots_[i].Buffer);
    Slots_[i] = {};
    --Count_;
    // Backward shift: later members of the probe run move into the hole
    // unless their home lies cyclically after it.
    for (size_t hole = i, j = (i + 1) & mask; Slots_[j].Buffer; j = (j + 1) & mask) {
        const size_t home = Home(Slots_[j].Number);
        const bool stays = hole <= j ? (home > hole && home <= j) : (home > hole || home <= j);
        if (stays) continue;
        Slots_[hole] = Slots_[j];
        Slots_[j] = {};
        hole = j;
    }
    // A cache that grew inside a transaction and was trimmed after it would
    // otherwise keep its members spread thinly over a large table.
    if (Slots_.size() > kMinSlots && Count_ * 8 < Slots_.size()) {
        try {
            Resize(Slots_.size() / 4);
        } catch (const std::bad_alloc&) {
            // The larger table serves as it is.
        }
    }
    return owned;
}

std::vector<std::unique_ptr<TBuffer>> TBufferMap::ExtractAll() {
    std::vector<std::unique_ptr<TBuffer>> all;
    all.reserve(Count_);
    for (TSlot& s : Slots_) {
        if (s.Buffer) all.emplace_back(s.Buffer);
        s = {};
    }
    std::vector<TSlot>().swap(Slots_);
    Count_ = 0;
    return all;
}

void TBufferMap::Clear() { ExtractAll(); }

}  // namespace dezede
