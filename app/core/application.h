#pragma once
// The application object: the program's title, the front end it runs on, and
// the request to end the message loop.

#include <string>

#include "app/core/message_dialog.h"

namespace dezede::freebolt {

class TFrontEnd;

class TApplication {
public:
    std::string Title;

    void Initialize(TFrontEnd* frontEnd);
    TFrontEnd* FrontEnd() const { return FrontEnd_; }
    // The handle of the application's main window, the parent of dialogs.
    THandle Handle() const;

    // Asks the message loop to end; a loop not yet started ends at once.
    void Terminate();
    bool Terminated() const { return Terminated_; }

private:
    TFrontEnd* FrontEnd_ = nullptr;
    bool Terminated_ = false;
};

TApplication& Application();

}  // namespace dezede::freebolt
