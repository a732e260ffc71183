#pragma once
// Window enumeration and message boxes of the desktop, in Qt terms.

#include "platform/uMessages.h"

#include <QList>
#include <QString>
#include <functional>

class QWidget;

// The title of a note without text; a note with text is titled by its first line.
inline constexpr const char* kNoteWindowTitle = "Zuvo Note";
// The X11 window role of every note window.
inline constexpr const char* kNoteWindowRole = "zuvonote-note";

// Message box types and answers, as the desktop numbers them.
inline constexpr unsigned MB_OK = 0x0;
inline constexpr unsigned MB_OKCANCEL = 0x1;
inline constexpr unsigned MB_YESNO = 0x4;
inline constexpr unsigned MB_ICONERROR = 0x10;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONWARNING = 0x30;
inline constexpr unsigned MB_ICONINFORMATION = 0x40;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

using TMessageBoxHandler =
    std::function<int(QWidget* parent, const QString& text, const QString& caption, unsigned type)>;

// Shows a modal message box and returns the answer. Tests install a handler that
// answers instead (a modal box would block them).
int MessageBoxW(QWidget* parent, const QString& text, const QString& caption, unsigned type);
// An information box that blocks nothing (no other window waits for it); the
// installed handler, if any, is told instead.
void ShowNotice(const QString& text, const QString& caption);
// Installs a handler; returns the previous one. An empty handler restores the real box.
TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler handler);

class QDialog;
using TModalHandler = std::function<int(QDialog& dialog)>;
// Runs a dialog modally and returns its result. Tests install a handler that
// drives the dialog instead (a nested loop would block them).
int ExecModal(QDialog& dialog);
TModalHandler SetModalHandler(TModalHandler handler);
