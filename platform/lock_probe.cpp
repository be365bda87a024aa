#include "platform/lock_probe.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/windows_error.h"

namespace dezede {
namespace {

constexpr uint64_t kOffsetMax = 0x7fffffffffffffffull;
}  // namespace

TLockProbe::~TLockProbe() { Close(); }

uint32_t TLockProbe::Open(const std::string& path) {
    Close();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return WindowsErrorFromErrno(errno);
    Fd_ = fd;
    return 0;
}

void TLockProbe::Close() {
    if (Fd_ >= 0) ::close(Fd_);
    Fd_ = -1;
}

size_t TLockProbe::ReadAt(void* buffer, size_t count, uint64_t offset) const {
    if (Fd_ < 0 || offset > kOffsetMax) return 0;
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(Fd_, static_cast<char*>(buffer) + done, count - done,
                                  static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

bool TLockProbe::Walk(uint64_t offset, uint64_t length, std::vector<TLockSpan>* spans, size_t maxSpans) const {
    if (Fd_ < 0 || length == 0 || offset > kOffsetMax || length - 1 > kOffsetMax - offset) return false;
    const size_t first = spans->size();
    // Regions still to ask, as (first byte, last byte).
    std::vector<std::pair<uint64_t, uint64_t>> pending{{offset, offset + length - 1}};
    while (!pending.empty() && spans->size() - first < maxSpans) {
        const auto [lo, hi] = pending.back();
        pending.pop_back();
        struct flock fl{};
        fl.l_type = F_WRLCK;  // conflicts with every lock, read or write
        fl.l_whence = SEEK_SET;
        fl.l_start = static_cast<off_t>(lo);
        fl.l_len = static_cast<off_t>(hi - lo + 1);
        fl.l_pid = 0;
        int rc;
        do {
            rc = fcntl(Fd_, F_OFD_GETLK, &fl);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0) return false;
        if (fl.l_type == F_UNLCK) continue;
        // l_len 0 means "to the end of the file's offset space".
        const uint64_t start = std::max<uint64_t>(lo, static_cast<uint64_t>(fl.l_start));
        const uint64_t end = fl.l_len == 0 ? hi
                                           : std::min<uint64_t>(hi, static_cast<uint64_t>(fl.l_start) +
                                                                        static_cast<uint64_t>(fl.l_len) - 1);
        if (start > end) return false;  // the kernel answered outside the question
        spans->push_back({start, end - start + 1, fl.l_type == F_WRLCK});
        if (start > lo) pending.emplace_back(lo, start - 1);
        if (end < hi) pending.emplace_back(end + 1, hi);
    }
    std::sort(spans->begin() + static_cast<std::ptrdiff_t>(first), spans->end(),
              [](const TLockSpan& a, const TLockSpan& b) { return a.Offset < b.Offset; });
    return true;
}

}  // namespace dezede
