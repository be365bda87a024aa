#include "platform/registry.h"

#include <cstdlib>
#include <exception>

namespace dezede {

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

bool KeyExistsIn(const TIniDocument& doc, const std::string& key) {
    for (const std::string& s : doc.Sections()) {
        std::string n = NormaliseKeyPath(s);
        if (SameNameIgnoringCase(n, key)) return true;
        if (n.size() > key.size() && n[key.size()] == '\\' &&
            SameNameIgnoringCase(std::string_view(n).substr(0, key.size()), key))
            return true;
    }
    return false;
}

// The section that holds the key's values: the spelling already in the file, if any.
std::string SectionFor(const TIniDocument& doc, const std::string& key) {
    for (const std::string& s : doc.Sections())
        if (SameNameIgnoringCase(NormaliseKeyPath(s), key)) return s;
    return key;
}

[[noreturn]] void FailedToSet(std::string_view name) {
    throw ERegistryException("Failed to set data for '" + std::string(name) + "'");
}

}  // namespace

std::string HivePath(THive hive) {
    if (hive == HKEY_LOCAL_MACHINE) {
        std::string p = Env("QUINTORA_HKLM");
        return p.empty() ? "/etc/quintora/registry.ini" : p;
    }
    std::string p = Env("QUINTORA_HKCU");
    if (!p.empty()) return p;
    std::string config = Env("XDG_CONFIG_HOME");
    if (config.empty()) config = Env("HOME") + "/.config";
    return config + "/quintora/registry.ini";
}

std::string NormaliseKeyPath(std::string_view key) {
    while (!key.empty() && key.front() == '\\') key.remove_prefix(1);
    while (!key.empty() && key.back() == '\\') key.remove_suffix(1);
    return std::string(key);
}

bool TRegistry::OpenKey(std::string_view keyPath, bool canCreate) {
    CloseKey();
    std::string key = NormaliseKeyPath(keyPath);
    std::string path = HivePath(RootKey);
    std::optional<TIniDocument> doc;
    try {
        doc = TIniDocument::Load(path);
    } catch (const std::exception& e) {
        // Never rewrite a hive that could not be read.
        if (canCreate) throw ERegistryException(e.what());
        return false;
    }
    bool exists = doc && !key.empty() && KeyExistsIn(*doc, key);
    if (!exists) {
        if (!canCreate || key.empty() || !(Access & KEY_CREATE_SUB_KEY)) return false;
        if (!doc) doc.emplace();
        try {
            doc->AddSection(key);
            doc->SaveAtomic(path);
        } catch (const std::exception& e) {
            throw ERegistryException("Failed to create key " + key + ": " + e.what());
        }
    }
    Open_ = TOpenKey{RootKey, key, Access, std::move(*doc)};
    return true;
}

bool TRegistry::OpenKeyReadOnly(std::string_view key) {
    Access = KEY_READ;
    return OpenKey(key, false);
}

void TRegistry::CloseKey() { Open_.reset(); }

bool TRegistry::ValueExists(std::string_view name) const {
    return Open_ && Open_->Snapshot.Value(SectionFor(Open_->Snapshot, Open_->Path), name).has_value();
}

std::string TRegistry::ReadString(std::string_view name) const {
    if (!Open_) return {};
    return Open_->Snapshot.Value(SectionFor(Open_->Snapshot, Open_->Path), name).value_or(std::string());
}

void TRegistry::WriteString(std::string_view name, std::string_view value) {
    if (!Open_ || !(Open_->Access & KEY_SET_VALUE)) FailedToSet(name);
    std::string path = HivePath(Open_->Hive);
    try {
        // Re-read the hive so that changes made since the key was opened survive.
        TIniDocument doc = TIniDocument::Load(path).value_or(TIniDocument());
        doc.SetValue(SectionFor(doc, Open_->Path), name, value);
        doc.SaveAtomic(path);
        Open_->Snapshot = std::move(doc);
    } catch (const std::exception&) {
        FailedToSet(name);
    }
}

}  // namespace dezede
