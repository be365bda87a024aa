#pragma once
// The registry, kept as INI-style text files, one per hive:
//   HKEY_CURRENT_USER   $QUINTORA_HKCU, else ${XDG_CONFIG_HOME:-$HOME/.config}/quintora/registry.ini
//   HKEY_LOCAL_MACHINE  $QUINTORA_HKLM, else /etc/quintora/registry.ini
// A key path is a section name written as it stands ("Software\Maker\App"),
// a value name is a name in that section, and every value is a string. A key
// exists when its section exists or a section below it does. Every change
// rewrites the hive file atomically.
//
// TRegistry mirrors the registry object that programs use: a root key, an
// access mode, one open key at a time.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/ini_document.h"

namespace dezede {

enum class THive { CurrentUser, LocalMachine };
inline constexpr THive HKEY_CURRENT_USER = THive::CurrentUser;
inline constexpr THive HKEY_LOCAL_MACHINE = THive::LocalMachine;

// Access rights, with the Windows values so that masks combine the same way.
inline constexpr uint32_t KEY_QUERY_VALUE = 0x0001;
inline constexpr uint32_t KEY_SET_VALUE = 0x0002;
inline constexpr uint32_t KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr uint32_t KEY_READ = 0x20019;
inline constexpr uint32_t KEY_WRITE = 0x20006;
inline constexpr uint32_t KEY_ALL_ACCESS = 0xF003F;

// The file that holds a hive.
std::string HivePath(THive hive);

// A failed registry change (the value or key could not be written).
class ERegistryException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TRegistry {
public:
    explicit TRegistry(uint32_t access = KEY_ALL_ACCESS) : Access(access) {}

    THive RootKey = HKEY_CURRENT_USER;
    uint32_t Access;

    // Opens the key with the current access mode. A missing key is created
    // when `canCreate` is set and the access mode allows it; otherwise the
    // call returns false. Throws ERegistryException when creating fails.
    bool OpenKey(std::string_view key, bool canCreate);
    // Sets the access mode to KEY_READ and opens an existing key. A missing
    // or unreadable hive file or a missing key gives false.
    bool OpenKeyReadOnly(std::string_view key);
    void CloseKey();
    bool HasCurrentKey() const { return Open_.has_value(); }

    bool ValueExists(std::string_view name) const;
    // The value's text, or empty when the value does not exist.
    std::string ReadString(std::string_view name) const;
    // Stores the value in the open key's hive file. Throws ERegistryException
    // ("Failed to set data for '<name>'") without an open key, without write
    // access, or when the file cannot be written.
    void WriteString(std::string_view name, std::string_view value);

private:
    struct TOpenKey {
        THive Hive;
        std::string Path;
        uint32_t Access;
        TIniDocument Snapshot;  // the hive as read when the key was opened
    };
    std::optional<TOpenKey> Open_;
};

// Key paths compare without case; leading and trailing backslashes are dropped.
std::string NormaliseKeyPath(std::string_view key);

}  // namespace dezede
