#pragma once
// TZurodoriVaroVev: the data module that owns the database components of the
// suite's database. Creating it configures the engine, finds the data
// directory and the session's private directory, and then opens the tables.

#include <cstdint>
#include <optional>
#include <string>

#include "components/component.h"
#include "components/dezede_session.h"

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

    TDEZEDESession* RedudaroVovazad;

    std::string DataDirectory;
    int32_t TableCount = 0;

    void DataModuleCreate();
    void DataModuleDestroy();

private:
    void ConfigureEngine();
    // Version gate, opening and repairing the tables, structure upgrades and
    // the prepared query come here.
    void OpenTables();

    std::optional<std::string> DataDirectoryOverride_;
};

// The single instance, while it exists.
extern TZurodoriVaroVev* ZurodoriVaroVev;

}  // namespace dezede::freebolt
