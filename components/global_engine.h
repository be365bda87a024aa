#pragma once
// The process-wide engine component and its default session "Default". Both
// exist from the first call until process exit.

namespace dezede {

class TDEZEDEEngine;
class TDEZEDESession;

TDEZEDEEngine* GlobalEngine();
TDEZEDESession* DefaultSession();

}  // namespace dezede
