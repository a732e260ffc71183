#include "platform/gui/uWindows.h"

#include <QDialog>
#include <QMessageBox>
#include <QWidget>

namespace {
TMessageBoxHandler& handlerSlot() {
    static TMessageBoxHandler h;
    return h;
}
} // namespace

int MessageBoxW(QWidget* parent, const QString& text, const QString& caption, unsigned type) {
    if (const TMessageBoxHandler& h = handlerSlot())
        return h(parent, text, caption, type);
    QMessageBox box(parent);
    box.setWindowTitle(caption);
    box.setText(text);
    switch (type & 0xF0) {
    case MB_ICONERROR:
        box.setIcon(QMessageBox::Critical);
        break;
    case MB_ICONQUESTION:
        box.setIcon(QMessageBox::Question);
        break;
    case MB_ICONWARNING:
        box.setIcon(QMessageBox::Warning);
        break;
    case MB_ICONINFORMATION:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        break;
    }
    switch (type & 0x0F) {
    case MB_YESNO:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MB_OKCANCEL:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    case QMessageBox::Cancel:
        return IDCANCEL;
    default:
        return IDOK;
    }
}

void ShowNotice(const QString& text, const QString& caption) {
    if (const TMessageBoxHandler& h = handlerSlot()) {
        (void)h(nullptr, text, caption, MB_ICONINFORMATION);
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Information, caption, text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler handler) {
    TMessageBoxHandler old = std::move(handlerSlot());
    handlerSlot() = std::move(handler);
    return old;
}

namespace {
TModalHandler& modalSlot() {
    static TModalHandler h;
    return h;
}
} // namespace

int ExecModal(QDialog& dialog) {
    if (const TModalHandler& h = modalSlot())
        return h(dialog);
    return dialog.exec();
}

TModalHandler SetModalHandler(TModalHandler handler) {
    TModalHandler old = std::move(modalSlot());
    modalSlot() = std::move(handler);
    return old;
}
