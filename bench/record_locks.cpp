// Record locks against the kernel's bare lock:
//  - a record lock + unlock pair of a shared table (the cursor already holds
//    its table read lock, as it does around every operation), against one
//    OFD lock + unlock pair on the same kind of byte;
//  - the same pair when each record lock also takes and gives back the table
//    read lock itself (a caller outside a cursor operation);
//  - a probe of semaphores 1 to 1,024 with retries off, one of them held by
//    another session (the shape of a user count), against 1,024 bare pairs.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "engine/directory_locks.h"
#include "engine/engine_file.h"
#include "engine/engine_file_locker.h"
#include "engine/file_registry.h"
#include "engine/table_lock_state.h"
#include "platform/file_names.h"
#include "platform/os_file.h"

using namespace dezede;

namespace {

double Time(int rounds, const std::function<void()>& f) {
    double best = 1e30;
    for (int r = 0; r < rounds; ++r) {
        const auto start = std::chrono::steady_clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

void Report(const char* name, double ours, const char* other, double theirs) {
    std::printf("%s: ours %.6f s, %s %.6f s, ratio %.2f\n", name, ours, other, theirs, ours / theirs);
}

struct TSession {
    TSession(const std::string& dir, bool strict)
        : Locks(TFileRegistry::Instance(),
                TDirectoryLocksConfig{.LockFilePath = dir + "/dezede.lck", .ErrorDatabase = dir,
                                      .ListTables = {}}),
          Data(TFileRegistry::Instance(), dir + "/orders.dat") {
        Locks.OpenLockFile();
        Data.Open();
        Locker = std::make_unique<TEngineFileLocker>(Data);
        TTableLockConfig config;
        config.DataFile = Locker.get();
        config.TableLocks = &Locks.GetTableLocks("orders");
        config.Session = [strict] { return TRecordLockSettings{0, 0, strict}; };
        config.CheckForChanges = [] { return false; };
        State = std::make_unique<TTableLockState>(std::move(config));
    }
    ~TSession() { State->ReleaseAll(); }
    TDataDirectoryLocks Locks;
    TEngineFile Data;
    std::unique_ptr<TEngineFileLocker> Locker;
    std::unique_ptr<TTableLockState> State;
};

}  // namespace

int main() {
    char tmpl[] = "/tmp/dezede-bench-locks-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::string dir = tmpl;
    {
        TOSFile create;
        create.Create(dir + "/orders.dat");
        create.Create(dir + "/bare.dat");
    }
    constexpr int kPairs = 200000;
    const TLockGeometry g = TLockGeometry::For(false);
    {
        TSession session(dir, false);
        TOSFile bare;
        bare.Open(dir + "/bare.dat", false, false);
        const double theirs = Time(5, [&] {
            for (int i = 0; i < kPairs; ++i) {
                const uint64_t byte = g.RecordByte(1 + (i & 1023)).Offset;
                bare.LockRange(byte, 1);
                bare.UnlockRange(byte, 1);
            }
        });
        TTableLockState& t = *session.State;
        t.BeginRead();
        const double ours = Time(5, [&] {
            for (int i = 0; i < kPairs; ++i) {
                t.LockRecord(1 + (i & 1023));
                t.UnlockRecord(1 + (i & 1023));
            }
        });
        t.EndRead();
        Report("record lock+unlock (200000 pairs)", ours, "bare OFD lock+unlock", theirs);
        const double withRead = Time(5, [&] {
            for (int i = 0; i < kPairs; ++i) {
                t.LockRecord(1 + (i & 1023));
                t.EndRead();
                t.UnlockRecord(1 + (i & 1023));
            }
        });
        Report("record lock+unlock taking the read lock (200000 pairs)", withRead, "bare OFD lock+unlock", theirs);

        TSession other(dir, true);
        other.State->LockSemaphore(17);
        const double probe = Time(20, [&] {
            for (int32_t n = 1; n <= 1024; ++n)
                if (t.LockSemaphore(n)) t.UnlockSemaphore(n);
        });
        const double bareProbe = Time(20, [&] {
            for (uint32_t n = 1; n <= 1024; ++n) {
                const uint64_t byte = g.SemaphoreByte(n).Offset;
                if (bare.LockRange(byte, 1)) bare.UnlockRange(byte, 1);
            }
        });
        Report("semaphore probe 1..1024, retries off", probe, "bare OFD lock+unlock", bareProbe);
    }
    OSDeleteFile(dir + "/orders.dat");
    OSDeleteFile(dir + "/bare.dat");
    OSDeleteFile(dir + "/dezede.lck");
    rmdir(dir.c_str());
    return 0;
}
