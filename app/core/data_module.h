#pragma once
// TZurodoriVaroVev: the data module that owns the database components of the
// suite's database. Creating it configures the engine, finds the data
// directory and the session's private directory, and then opens the tables.

#include <cstdint>
#include <optional>
#include <string>

#include "app/core/component.h"

namespace dezede::freebolt {

// Set at start-up when the database is older than this program supports; the
// main block then skips the message loop.
extern bool DatabaseTooOld;

class TZurodoriVaroVev : public TComponent {
public:
    // `dataDirectory` set: use it as the data directory, without the lookup
    // and its write-back.
    explicit TZurodoriVaroVev(TComponent* owner = nullptr, std::optional<std::string> dataDirectory = {});
    ~TZurodoriVaroVev() override;

    std::string DataDirectory;
    int32_t TableCount = 0;

    // The session component's private directory as chosen at start-up.
    const std::string& PrivateDir() const { return PrivateDir_; }

    void DataModuleCreate();
    void DataModuleDestroy();

private:
    void ConfigureEngine();
    // Version gate, opening and repairing the tables, structure upgrades and
    // the prepared query come here.
    void OpenTables();

    std::optional<std::string> DataDirectoryOverride_;
    std::string PrivateDir_;
};

// The single instance, while it exists.
extern TZurodoriVaroVev* ZurodoriVaroVev;

}  // namespace dezede::freebolt
