#include "app/gui/message_box.h"

#include <QMessageBox>
#include <QPushButton>
#include <map>

#include "app/core/ansi_text.h"

namespace dezede::freebolt {

int32_t ShowQtMessageDialog(const TMessageDialogRequest& request, QWidget* owner) {
    QMessageBox box(owner);
    box.setObjectName(QStringLiteral("MessageDialog"));
    box.setWindowTitle(QString::fromStdString(request.Caption));
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdU16String(CarriageReturnsToLineBreaks(AnsiToWide(request.Text))));
    switch (request.Type) {
        case mtWarning: box.setIcon(QMessageBox::Warning); break;
        case mtError: box.setIcon(QMessageBox::Critical); break;
        case mtInformation: box.setIcon(QMessageBox::Information); break;
        case mtConfirmation: box.setIcon(QMessageBox::Question); break;
        case mtCustom: box.setIcon(QMessageBox::NoIcon); break;
    }
    std::map<QAbstractButton*, int32_t> results;
    QAbstractButton* help = nullptr;
    const TMsgDlgButtons def = DefaultMessageButton(request.Buttons);
    const int32_t cancelResult = CancelMessageResult(request.Buttons);
    for (const TMessageDialogButton& b : kMessageDialogButtons) {
        if (!(request.Buttons & b.Button)) continue;
        QMessageBox::ButtonRole role = b.Button == mbHelp ? QMessageBox::HelpRole
                                       : (b.ModalResult == mrCancel || b.ModalResult == mrNo || b.ModalResult == mrAbort)
                                           ? QMessageBox::RejectRole
                                           : QMessageBox::AcceptRole;
        QPushButton* button = box.addButton(QString::fromLatin1(b.Caption), role);
        button->setObjectName(QString::fromLatin1(b.Caption).remove(QLatin1Char('&')).remove(QLatin1Char(' ')));
        results[button] = b.ModalResult;
        if (b.Button == mbHelp) help = button;
        if (b.Button == def) box.setDefaultButton(button);
        if (b.ModalResult == cancelResult) box.setEscapeButton(button);
    }
    if (results.empty()) results[box.addButton(QMessageBox::Ok)] = mrOk;
    if (owner) {
        box.adjustSize();
        box.move(owner->frameGeometry().center() - QPoint(box.width() / 2, box.height() / 2));
    }
    // Help opens no help system here; it leaves the dialog open, as it would with one.
    do {
        box.exec();
    } while (help && box.clickedButton() == help);
    auto it = results.find(box.clickedButton());
    return it == results.end() ? cancelResult : it->second;
}

}  // namespace dezede::freebolt
