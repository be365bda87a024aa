#include "platform/windows_error.h"

#include <cerrno>

namespace dezede {

uint32_t WindowsErrorFromErrno(int err) {
    switch (err) {
        case ENOENT: return kWinFileNotFound;
        case ENOTDIR: return kWinPathNotFound;
        case EMFILE:
        case ENFILE: return kWinTooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EROFS: return kWinAccessDenied;
        case EBADF: return kWinInvalidHandle;
        case ENOMEM: return kWinNotEnoughMemory;
        case ENODEV:
        case ENXIO: return kWinInvalidDrive;
        case EXDEV: return kWinNotSameDevice;
        case EEXIST: return kWinAlreadyExists;
        default: return kWinUnknownBase | static_cast<uint32_t>(err & 0xFFFF);
    }
}

}  // namespace dezede
