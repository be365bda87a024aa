// Takes and holds the locking protocol's locks in a process of its own, on
// command, so that tests can check what another process sees. One command per
// line on stdin, one answer line on stdout: "ok", "ok <value>", or
// "err <engine error code>".
//
//   open <dir> [lfs] [lockfile <name>]   open the directory's lock file -> ok <no-locking 0|1>
//   retries <table retries> <wait ms>    table read/write/trans lock waits
//   session <retries> <wait ms>          record, whole-table and semaphore waits
//   slot <table>                         -> ok <slot>
//   beginread|endread|beginwrite|endwrite <table>    -> ok <refreshed 0|1>
//   translock|transunlock <table>
//   intrans <table> 0|1                  mark the table in a transaction or not
//   lockrecord|unlockrecord <table> <n>
//   unlockall <table> 0|1                UnlockAllRecords (transaction ones)
//   locktable|unlocktable <table>
//   locksem|unlocksem <table> <n>        -> ok <result 0|1>
//   alltrans|unalltrans|allwrite|unallwrite
//   bump <table>                         move the table's change counter
//   refreshes <table>                    -> ok <refreshes seen>
//   close                                drop the directory and every lock
//   pid                                  -> ok <process id>
//   quit

#include <unistd.h>

#include <memory>
#include <sstream>
#include <string>

#include "engine/engine_error.h"
#include "tests/helpers/command_loop.h"
#include "tests/helpers/lock_session.h"

using namespace dezede;
using dezede::test::TLockSession;

int main() {
    std::unique_ptr<TLockSession> session;
    test::RunCommandLoop([&](const std::string& cmd, std::istringstream& in, std::string& answer) {
        if (cmd == "quit") return false;
        if (cmd == "pid") {
            answer += " " + std::to_string(getpid());
            return true;
        }
        if (cmd == "open") {
            std::string dir, word, lockFile = "dezede.lck";
            bool lfs = false;
            in >> dir;
            while (in >> word) {
                if (word == "lfs") lfs = true;
                if (word == "lockfile") in >> lockFile;
            }
            session.reset();
            session = std::make_unique<TLockSession>(TFileRegistry::Instance(), dir, lockFile, lfs);
            session->Locks().OpenLockFile();
            answer += session->Locks().NoLocking() ? " 1" : " 0";
        } else if (cmd == "close") {
            session.reset();
        } else if (!session) {
            answer = "err 0";
        } else if (cmd == "retries") {
            int retries = 0, wait = 0;
            in >> retries >> wait;
            session->SetTableLockRetries(static_cast<uint16_t>(retries), static_cast<uint16_t>(wait));
        } else if (cmd == "session") {
            int retries = 0, wait = 0;
            in >> retries >> wait;
            session->Session.RetryCount = static_cast<uint8_t>(retries);
            session->Session.WaitTime = static_cast<uint16_t>(wait);
        } else if (cmd == "alltrans") {
            session->Locks().LockAllTrans();
        } else if (cmd == "unalltrans") {
            session->Locks().UnlockAllTrans();
        } else if (cmd == "allwrite") {
            session->Locks().LockAllWrite();
        } else if (cmd == "unallwrite") {
            session->Locks().UnlockAllWrite();
        } else {
            std::string table;
            in >> table;
            TTableLockState& s = session->State(table);
            long n = 0;
            in >> n;
            auto flag = [&answer](bool b) { answer += b ? " 1" : " 0"; };
            if (cmd == "slot") answer += " " + std::to_string(s.TableLocks()->Slot());
            else if (cmd == "beginread") flag(s.BeginRead());
            else if (cmd == "endread") s.EndRead();
            else if (cmd == "beginwrite") flag(s.BeginWrite());
            else if (cmd == "endwrite") s.EndWrite();
            else if (cmd == "translock") flag(s.TableLocks()->TransLock());
            else if (cmd == "transunlock") s.TableLocks()->TransUnlock();
            else if (cmd == "intrans") s.InTransaction = n != 0;
            else if (cmd == "lockrecord") flag(s.LockRecord(static_cast<uint32_t>(n)));
            else if (cmd == "unlockrecord") s.UnlockRecord(static_cast<uint32_t>(n));
            else if (cmd == "unlockall") s.UnlockAllRecords(n != 0);
            else if (cmd == "locktable") flag(s.LockTable());
            else if (cmd == "unlocktable") s.UnlockTable();
            else if (cmd == "locksem") flag(s.LockSemaphore(static_cast<int32_t>(n)));
            else if (cmd == "unlocksem") flag(s.UnlockSemaphore(static_cast<int32_t>(n)));
            else if (cmd == "bump") session->Bump(table);
            else if (cmd == "refreshes") answer += " " + std::to_string(session->Table(table).Refreshes);
            else answer = "unknown";
        }
        return true;
    });
    return 0;
}
