#include "ui/uFmToolDialog.h"

#include "note/uNoteShell.h"

#include <QGuiApplication>
#include <QScreen>

TFmToolDialog::TFmToolDialog(QWidget* owner, const TLanguageObject* language, QSize clientSize)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      FLanguage(language ? language : &ShellLanguage()) {
    QFont f(QStringLiteral("Tahoma"));
    f.setPointSize(8);
    setFont(f);
    setFixedSize(clientSize);
    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

bool TFmToolDialog::event(QEvent* e) {
    if (e->type() == QEvent::Type(WM_UPDATELANGUAGE)) {
        WMUpdateLanguage();
        return true;
    }
    return QDialog::event(e);
}
