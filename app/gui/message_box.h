#pragma once
// The standard message dialog on Qt: a QMessageBox with the request's caption,
// type icon and buttons, centred on its owner; returns the modal result.

#include "app/core/message_dialog.h"

class QWidget;

namespace dezede::freebolt {

int32_t ShowQtMessageDialog(const TMessageDialogRequest& request, QWidget* owner);

}  // namespace dezede::freebolt
