#pragma once
// A unique temporary directory for one test, removed with everything in it.

#include <cstdlib>
#include <stdexcept>
#include <filesystem>
#include <string>

namespace dezede::test {

class TTempDir {
public:
    TTempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "dezede-test-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp");
        Path_ = tmpl;
    }
    ~TTempDir() {
        std::error_code ec;
        // Read-only files inside must not stop the cleanup.
        std::filesystem::permissions(Path_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(Path_, ec);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::string& Path() const { return Path_; }
    std::string File(const std::string& name) const { return Path_ + "/" + name; }

private:
    std::string Path_;
};

}  // namespace dezede::test
