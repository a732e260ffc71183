#include "platform/gui/uWindows.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

namespace {
TMessageBoxHandler& handlerSlot() {
    static TMessageBoxHandler h;
    return h;
}
} // namespace

QList<QWidget*> WindowsTitled(const QString& title) {
    QList<QWidget*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowTitle() == title)
            out.append(w);
    return out;
}

void BroadcastToTitled(const QString& title, int msg, WPARAM wParam, LPARAM lParam) {
    // A handler may close or create windows: address the ones present at the start,
    // and skip those that are gone by their turn.
    QList<QPointer<QWidget>> targets;
    for (QWidget* w : WindowsTitled(title))
        targets.append(w);
    for (const QPointer<QWidget>& w : targets)
        if (w)
            SendMessageW(w.data(), msg, wParam, lParam);
}

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
