#pragma once
// A unique temporary directory for one test, removed with its contents.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace dezede::test {

class TTempDir {
public:
    TTempDir() {
        std::string templ = (std::filesystem::temp_directory_path() / "dezede-test-XXXXXX").string();
        Path_ = ::mkdtemp(templ.data()) ? templ : std::string();
    }
    ~TTempDir() {
        std::error_code ec;
        std::filesystem::remove_all(Path_, ec);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::string& Path() const { return Path_; }
    std::string File(const std::string& name) const { return Path_ + "/" + name; }
    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(File(name), std::ios::binary) << text;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(File(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::string Path_;
};

// Sets an environment variable for the life of the object and restores it after.
class TScopedEnv {
public:
    TScopedEnv(const char* name, const char* value) : Name_(name) {
        if (const char* old = std::getenv(name)) Old_ = old, HadOld_ = true;
        if (value) ::setenv(name, value, 1); else ::unsetenv(name);
    }
    ~TScopedEnv() {
        if (HadOld_) ::setenv(Name_.c_str(), Old_.c_str(), 1); else ::unsetenv(Name_.c_str());
    }
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    std::string Name_, Old_;
    bool HadOld_ = false;
};

}  // namespace dezede::test
