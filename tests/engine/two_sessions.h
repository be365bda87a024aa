#pragma once
// A fixture base: one engine with two sessions, A and B, each with its own
// directory object on the same temporary directory ("db"). A fixture sets the
// engine's settings, then calls StartSessions; the sessions' record-lock
// retries are off.

#include <gtest/gtest.h>

#include "engine/data_directory.h"
#include "engine/data_engine.h"
#include "engine/data_session.h"
#include "tests/helpers/temp_dir.h"

namespace dezede::test {

class TwoSessionsTest : public ::testing::Test {
protected:
    void StartSessions() {
        Engine.Startup("dezede.lck");
        A = Engine.CreateSession();
        B = Engine.CreateSession();
        for (TDataSession* s : {A, B}) s->SetLockRetryCount(0);
        DirA = A->OpenDataDir("db", Dir.Path(), false, false);
        DirB = B->OpenDataDir("db", Dir.Path(), false, false);
    }

    TTempDir Dir;
    TDataEngine Engine;
    TDataSession* A = nullptr;
    TDataSession* B = nullptr;
    TDataDirectory* DirA = nullptr;
    TDataDirectory* DirB = nullptr;
};

}  // namespace dezede::test
