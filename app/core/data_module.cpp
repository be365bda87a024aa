#include "app/core/data_module.h"

#include "app/core/data_directory.h"

namespace dezede::freebolt {

bool DatabaseTooOld = false;
TZurodoriVaroVev* ZurodoriVaroVev = nullptr;

TZurodoriVaroVev::TZurodoriVaroVev(TComponent* owner, std::optional<std::string> dataDirectory)
    : TComponent(owner, "ZurodoriVaroVev"), DataDirectoryOverride_(std::move(dataDirectory)) {
    ZurodoriVaroVev = this;
    DataModuleCreate();
}

TZurodoriVaroVev::~TZurodoriVaroVev() {
    DataModuleDestroy();
    if (ZurodoriVaroVev == this) ZurodoriVaroVev = nullptr;
}

void TZurodoriVaroVev::DataModuleCreate() {
    ConfigureEngine();
    DataDirectory = DataDirectoryOverride_ ? *DataDirectoryOverride_ : ReadDataDirectory();
    PrivateDir_ = ChoosePrivateDirectory(DataDirectory);
    OpenTables();
}

void TZurodoriVaroVev::ConfigureEngine() {}

void TZurodoriVaroVev::OpenTables() {}

void TZurodoriVaroVev::DataModuleDestroy() {
    // Closing the tables and queries and disconnecting come here.
}

}  // namespace dezede::freebolt
