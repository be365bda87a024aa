#include "engine/data_table.h"

#include "engine/data_directory.h"
#include "engine/data_session.h"

namespace dezede {

TDataTable::TDataTable(TDataDirectory& directory, std::string name, std::string displayName, bool exclusive,
                       bool temporary)
    : Directory_(directory),
      Name_(std::move(name)),
      DisplayName_(std::move(displayName)),
      Exclusive_(exclusive),
      Temporary_(temporary),
      Locking_(TTableLockConfig{}) {
    TTableLockConfig& c = Locking_.Config();
    if (TDataDirectoryLocks* locks = directory.Locks()) c.Geometry = locks->Geometry();
    TDataSession& session = directory.Session();
    c.Session = [&session] {
        return TRecordLockSettings{session.LockRetryCount(), session.LockWaitTime(), session.StrictChangeDetection()};
    };
    c.ErrorTable = DisplayName_.empty() ? Name_ : DisplayName_;
    c.ErrorDatabase = directory.ErrorName();
}

TDataTable::~TDataTable() { Locking_.ReleaseAll(); }

}  // namespace dezede
