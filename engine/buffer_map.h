#pragma once
// TBufferMap: a file's cached buffers by number, owning them. Open addressing
// in one flat array, so that a lookup, which every buffer request makes when
// the short recently-used scan misses, costs one probe of memory rather than
// the walk through separately allocated nodes of a node-based hash map.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/buffer.h"

namespace dezede {

class TBufferMap {
public:
    TBufferMap() = default;
    ~TBufferMap() { Clear(); }
    TBufferMap(const TBufferMap&) = delete;
    TBufferMap& operator=(const TBufferMap&) = delete;

    TBuffer* Find(int32_t number) const;
    // Adds a buffer under its number, which must not be in the map.
    void Insert(std::unique_ptr<TBuffer> buffer);
    // Removes the buffer with this number and hands it over (null when absent).
    std::unique_ptr<TBuffer> Extract(int32_t number);
    // Removes every buffer and hands them over, in no particular order.
    std::vector<std::unique_ptr<TBuffer>> ExtractAll();
    void Clear();
    size_t size() const { return Count_; }

    // Calls f(TBuffer*) for every buffer, in no particular order; f must not
    // change the map.
    template <class F>
    void ForEach(F&& f) const {
        for (const TSlot& s : Slots_)
            if (s.Buffer) f(s.Buffer);
    }

private:
    struct TSlot {
        int32_t Number = 0;
        TBuffer* Buffer = nullptr;  // owned; null: the slot is free
    };
    static constexpr size_t kMinSlots = 64;
    size_t Home(int32_t number) const;
    void Resize(size_t slots);

    std::vector<TSlot> Slots_;  // a power of two in size, at most half full unless shrinking
    size_t Count_ = 0;
};

}  // namespace dezede
