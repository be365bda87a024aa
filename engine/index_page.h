#pragma once
// TPage: one page of an index file, unpacked.
//
// Image layout (page size bytes, integers little-endian):
//   0  type            0 root with children, 1 inner, 2 leaf, 3 root leaf, 4 full-text settings
//   1  entry count     16 bits
//   3  previous page   left neighbour on the same level, 0 if none
//   7  next page       right neighbour, 0 if none; the next free page on a free page
//   11 compressed size bytes used by the entries of a compressed leaf, else 0
//   13 entries
// Inner entries: key (K bytes), child page (4), key count of the child's subtree (4, omitted
// without key statistics). Leaf entries depend on the compression mode (see index_page.cpp).
//
// In memory every entry is kept unpacked (key, pointer, key count, D, T), and for compressed
// leaves the packed size is kept exact at every change, so that fullness is known without
// packing. A type-4 page keeps its body as raw bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dezede {

// Page types.
inline constexpr uint8_t ptRootInner = 0;
inline constexpr uint8_t ptInner = 1;
inline constexpr uint8_t ptLeaf = 2;
inline constexpr uint8_t ptRootLeaf = 3;
inline constexpr uint8_t ptFullText = 4;

// Leaf compression modes.
inline constexpr uint8_t icNone = 0;
inline constexpr uint8_t icDuplicateByte = 1;
inline constexpr uint8_t icTrailingByte = 2;
inline constexpr uint8_t icFull = 3;

// What pages and the tree need to know of the index they belong to (copied from its descriptor).
struct TIndexShape {
    uint32_t PageSize = 4096;
    uint16_t KeySize = 0;
    bool Unique = true;
    uint8_t Compression = icNone;
    bool NoKeyStats = false;
    bool operator==(const TIndexShape&) const = default;
};

inline constexpr uint32_t PageHeaderSize = 13;
inline constexpr uint32_t MinIndexPageSize = 1024;
inline constexpr uint32_t MaxIndexPageSize = 16384;
inline constexpr uint32_t MaxIndexKeySize = 4106;

// Raises DEZEDE_INDEXLIMIT for a page size outside 1024 to 16384 or a compression mode above 3,
// and DEZEDE_INVALIDKEY for a key size of 0, above 4106 or above a third of the page body.
void ValidateIndexShape(const TIndexShape& shape, const std::string& table);

class TPage {
public:
    // The shape must have been validated; the table name goes into corruption errors.
    TPage(const TIndexShape& shape, std::string table);

    const TIndexShape& Shape() const { return Shape_; }
    const std::string& Table() const { return Table_; }

    // Empties the page and gives it a type; links and body are cleared.
    void Clear(uint8_t type);

    // Reads a page image (page size bytes). Every count, length and compression byte is
    // checked against the page; a page that does not hold together raises DEZEDE_INDEXCORRUPT.
    void LoadFromImage(const uint8_t* image);
    // Writes the page image (page size bytes), the unused tail zeroed.
    void SaveToImage(uint8_t* image) const;

    uint32_t Number = 0;
    uint8_t Type = ptLeaf;
    uint32_t Previous = 0;
    uint32_t Next = 0;

    bool IsLeaf() const { return Type == ptLeaf || Type == ptRootLeaf; }
    bool IsInner() const { return Type == ptRootInner || Type == ptInner; }
    bool IsRoot() const { return Type == ptRootInner || Type == ptRootLeaf; }

    int Count() const { return Count_; }
    const uint8_t* Key(int i) const { return Entry(i); }
    uint32_t Pointer(int i) const;
    void SetPointer(int i, uint32_t value);
    uint32_t KeyCount(int i) const;
    void SetKeyCount(int i, uint32_t value);
    uint8_t Duplicate(int i) const { return Entry(i)[Shape_.KeySize + 8]; }
    uint8_t Trailing(int i) const { return Entry(i)[Shape_.KeySize + 9]; }

    // Inserts an entry before position i (0 to Count()).
    void Insert(int i, const uint8_t* key, uint32_t pointer, uint32_t keyCount);
    void Remove(int i);
    void ReplaceKey(int i, const uint8_t* key);
    // Moves entries [from, from + n) of this page to position at of other (same shape).
    void MoveEntries(int from, int n, TPage& other, int at);

    // Whether this page's entries are packed (a leaf of a compressed index).
    bool Compressed() const { return IsLeaf() && Shape_.Compression != icNone; }
    // Bytes the entries take when packed (compressed leaves; 0 otherwise).
    uint32_t CompressedSize() const { return CompressedSize_; }
    // Bytes available for entries.
    uint32_t BodySize() const { return Shape_.PageSize - PageHeaderSize; }
    // Maximum entries of an inner page or an uncompressed leaf of this shape.
    int EntryCapacity() const;
    bool OverCapacity() const;
    // Packed size of entry i as it stands (its D and T).
    uint32_t PackedEntrySize(int i) const;
    // The number of keys under this page: its entry count for a leaf, the sum of the key
    // counts of its entries for an inner page.
    uint64_t SubtreeKeyCount() const;

    // Capacities that depend on the shape alone.
    static int InnerCapacity(const TIndexShape& shape);
    static int LeafCapacity(const TIndexShape& shape);

    // Body of a full-text settings page (type 4): BodySize() bytes.
    std::vector<uint8_t>& Body() { return Body_; }
    const std::vector<uint8_t>& Body() const { return Body_; }

private:
    uint8_t* Entry(int i) { return Data_.data() + static_cast<size_t>(i) * Stride_; }
    const uint8_t* Entry(int i) const { return Data_.data() + static_cast<size_t>(i) * Stride_; }
    uint32_t EntrySize(uint8_t d, uint8_t t) const;
    // Recomputes D and T of entry i from its predecessor and returns its packed size.
    uint32_t Recompute(int i);
    void RecomputeAll();
    [[noreturn]] void Corrupt() const;

    TIndexShape Shape_;
    std::string Table_;
    size_t Stride_;
    int Count_ = 0;
    uint32_t CompressedSize_ = 0;
    std::vector<uint8_t> Data_;
    std::vector<uint8_t> Body_;
};

}  // namespace dezede
