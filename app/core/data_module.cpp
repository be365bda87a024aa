#include "app/core/data_module.h"

#include "app/core/data_directory.h"
#include "components/dezede_engine.h"
#include "components/global_engine.h"

namespace dezede::freebolt {

bool DatabaseTooOld = false;
TZurodoriVaroVev* ZurodoriVaroVev = nullptr;

TZurodoriVaroVev::TZurodoriVaroVev(TComponent* owner, std::optional<std::string> dataDirectory)
    : TComponent(owner), DataDirectoryOverride_(std::move(dataDirectory)) {
    SetName("ZurodoriVaroVev");
    RedudaroVovazad = new TDEZEDESession(this);
    RedudaroVovazad->SetName("RedudaroVovazad");
    RedudaroVovazad->SetSessionName("QNSession");
    ZurodoriVaroVev = this;
    DataModuleCreate();
}

TZurodoriVaroVev::~TZurodoriVaroVev() {
    DataModuleDestroy();
    if (ZurodoriVaroVev == this) ZurodoriVaroVev = nullptr;
    DestroyComponents();
}

void TZurodoriVaroVev::DataModuleCreate() {
    ConfigureEngine();
    RedudaroVovazad->SetActive(false);
    DataDirectory = DataDirectoryOverride_ ? *DataDirectoryOverride_ : ReadDataDirectory();
    RedudaroVovazad->SetPrivateDir(ChoosePrivateDirectory(DataDirectory));
    OpenTables();
}

void TZurodoriVaroVev::ConfigureEngine() {
    // Before any session is active: these settings are frozen while the engine runs.
    TDEZEDEEngine* engine = GlobalEngine();
    engine->SetCreateTempTablesInDatabase(true);
    engine->SetLockFileName("vodozedo3.lck");
    engine->SetFilterRecordCounts(true);
    engine->SetTableDataTempExtension(".tat");
    engine->SetTableIndexTempExtension(".tdx");
    engine->SetTableBlobTempExtension(".tlb");
}

void TZurodoriVaroVev::OpenTables() {}

void TZurodoriVaroVev::DataModuleDestroy() {
    // Closing the tables and queries and disconnecting come here.
}

}  // namespace dezede::freebolt
