#include "engine/data_session.h"

#include <algorithm>

#include "engine/data_directory.h"
#include "engine/table_names.h"
#include "platform/process_paths.h"
#include "support/ansi_strings.h"

namespace dezede {

TDataSession::TDataSession(TDataEngine& engine) : Engine_(engine), PrivateDir_(TemporaryDirectory()) {}

TDataSession::~TDataSession() {
    // Last opened first; each directory rolls back and frees what it owns.
    while (!Directories_.empty()) Directories_.pop_back();
}

TDataDirectory* TDataSession::OpenDataDir(const std::string& name, const std::string& path, bool matchNames,
                                          bool keepTablesOpen) {
    std::string dir = NormaliseDirectoryPath(path);
    if (dir.empty() && !IsMemoryDatabaseName(name)) dir = CurrentDirectory();
    for (const auto& d : Directories_) {
        if (CompareTableNames(d->Path(), dir) != 0) continue;
        if (matchNames && !SameTableName(d->Name(), name.substr(0, std::min<size_t>(name.size(), 60)))) continue;
        d->AddReference();
        return d.get();
    }
    auto directory = std::make_unique<TDataDirectory>(*this, name, dir);
    directory->AddReference();
    directory->SetKeepTablesOpen(keepTablesOpen);
    Directories_.push_back(std::move(directory));
    return Directories_.back().get();
}

void TDataSession::CloseDataDir(TDataDirectory* directory) {
    auto it = std::find_if(Directories_.begin(), Directories_.end(),
                           [directory](const auto& d) { return d.get() == directory; });
    if (it == Directories_.end()) return;
    if (!(*it)->ReleaseReference()) return;
    std::unique_ptr<TDataDirectory> owned = std::move(*it);
    Directories_.erase(it);
    // owned is freed here: its transaction is rolled back, its tables closed.
}

void TDataSession::SetName(const std::string& name) { Name_ = name.size() > 255 ? name.substr(0, 255) : name; }

void TDataSession::SetPrivateDir(const std::string& dir) {
    std::string path(TrimWhitespace(dir));
    std::replace(path.begin(), path.end(), '\\', '/');
    if (!path.empty() && path.back() != '/') path += '/';
    PrivateDir_ = std::move(path);
}

std::string TDataSession::GetPrivateDir() const { return PrivateDir_.empty() ? CurrentDirectory() : PrivateDir_; }

void TDataSession::AddPassword(const std::string& password) {
    if (password.empty()) return;
    for (const auto& p : Passwords_)
        if (p->Text() == password) return;
    auto pooled = std::find_if(PasswordPool_.begin(), PasswordPool_.end(),
                               [&](const auto& p) { return p->Text() == password; });
    if (pooled != PasswordPool_.end()) {
        Passwords_.push_back(std::move(*pooled));
        PasswordPool_.erase(pooled);
        return;
    }
    Passwords_.push_back(std::make_unique<TTablePassword>(password));
}

void TDataSession::DelPassword(const std::string& password) {
    auto it = std::find_if(Passwords_.begin(), Passwords_.end(), [&](const auto& p) { return p->Text() == password; });
    if (it == Passwords_.end()) return;
    PasswordPool_.push_back(std::move(*it));
    Passwords_.erase(it);
}

void TDataSession::DelAllPasswords() {
    for (auto& p : Passwords_) PasswordPool_.push_back(std::move(p));
    Passwords_.clear();
}

std::vector<std::string> TDataSession::PasswordTexts() const {
    std::vector<std::string> texts;
    texts.reserve(Passwords_.size());
    for (const auto& p : Passwords_) texts.push_back(p->Text());
    return texts;
}

const TTablePassword* TDataSession::FindPassword(const TPasswordDigest& digest) const {
    for (const auto& p : Passwords_)
        if (p->Digest() == digest) return p.get();
    return nullptr;
}

}  // namespace dezede
