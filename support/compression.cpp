#include "support/compression.h"

#include <algorithm>
#include <limits>

#include <zlib.h>

#include "support/crypto_hooks.h"

namespace dezede {

namespace {

// zlib counts in uInt; feed and drain it in pieces that fit.
constexpr size_t kMaxPiece = std::numeric_limits<uInt>::max();

bool ZlibCompress(const uint8_t* data, size_t size, int level, std::vector<uint8_t>& out) {
    out.clear();
    z_stream z{};
    if (deflateInit(&z, level) != Z_OK) return false;
    out.resize(deflateBound(&z, static_cast<uLong>(std::min<size_t>(size, std::numeric_limits<uLong>::max()))));
    size_t inDone = 0, outDone = 0;
    int rc = Z_OK;
    while (rc == Z_OK) {
        if (outDone == out.size()) out.resize(out.size() + out.size() / 2 + 64);
        const size_t inPiece = std::min(size - inDone, kMaxPiece);
        const size_t outPiece = std::min(out.size() - outDone, kMaxPiece);
        z.next_in = const_cast<Bytef*>(data + inDone);
        z.avail_in = static_cast<uInt>(inPiece);
        z.next_out = out.data() + outDone;
        z.avail_out = static_cast<uInt>(outPiece);
        const bool last = inDone + inPiece == size;
        rc = deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
        inDone += inPiece - z.avail_in;
        outDone += outPiece - z.avail_out;
        if (rc == Z_BUF_ERROR) rc = Z_OK;  // no progress possible until more room: loop grows it
    }
    deflateEnd(&z);
    if (rc != Z_STREAM_END) {
        out.clear();
        return false;
    }
    out.resize(outDone);
    return true;
}

bool ZlibDecompress(const uint8_t* data, size_t size, std::vector<uint8_t>& out, size_t maxSize) {
    out.clear();
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    // One byte beyond the bound lets an oversized value show itself.
    const size_t cap = maxSize == std::numeric_limits<size_t>::max() ? maxSize : maxSize + 1;
    out.resize(std::min(cap, std::max<size_t>(size * 4, 256)));
    size_t inDone = 0, outDone = 0;
    int rc = Z_OK;
    bool ok = false;
    for (;;) {
        if (outDone == out.size()) {
            if (out.size() >= cap) break;
            out.resize(std::min(cap, out.size() * 2));
        }
        const size_t inPiece = std::min(size - inDone, kMaxPiece);
        const size_t outPiece = std::min(out.size() - outDone, kMaxPiece);
        z.next_in = const_cast<Bytef*>(data + inDone);
        z.avail_in = static_cast<uInt>(inPiece);
        z.next_out = out.data() + outDone;
        z.avail_out = static_cast<uInt>(outPiece);
        rc = inflate(&z, Z_NO_FLUSH);
        inDone += inPiece - z.avail_in;
        outDone += outPiece - z.avail_out;
        if (rc == Z_STREAM_END) {
            ok = inDone == size && outDone <= maxSize;  // trailing bytes mean a damaged value
            break;
        }
        if (rc == Z_BUF_ERROR) {
            if (z.avail_out != 0) break;  // input exhausted before the end of the stream
            continue;
        }
        if (rc != Z_OK) break;  // Z_DATA_ERROR, Z_NEED_DICT, Z_MEM_ERROR
        if (inDone == size && z.avail_out != 0) break;  // truncated
    }
    inflateEnd(&z);
    if (!ok) {
        out.clear();
        return false;
    }
    out.resize(outDone);
    return true;
}

}  // namespace

bool CompressBuffer(const uint8_t* data, size_t size, int level, std::vector<uint8_t>& out) {
    if (level < 0 || level > 9) {
        out.clear();
        return false;
    }
    if (std::shared_ptr<const TCryptoHooks> hooks = CurrentCryptoHooks(); hooks && hooks->OnCompress) {
        if (hooks->OnCompress(data, size, level, out)) return true;
        out.clear();
        return false;
    }
    return ZlibCompress(data, size, level, out);
}

bool DecompressBuffer(const uint8_t* data, size_t size, std::vector<uint8_t>& out, size_t maxSize) {
    if (std::shared_ptr<const TCryptoHooks> hooks = CurrentCryptoHooks(); hooks && hooks->OnDecompress) {
        if (hooks->OnDecompress(data, size, out) && out.size() <= maxSize) return true;
        out.clear();
        return false;
    }
    return ZlibDecompress(data, size, out, maxSize);
}

}  // namespace dezede
