#include "platform/gui/uFixedDialog.h"

#include "platform/uMessages.h"

#include <QScreen>

TFixedDialog::TFixedDialog(QWidget* parent, Qt::WindowFlags flags, QSize clientSize)
    : QDialog(parent, flags) {
    QFont f(QStringLiteral("Tahoma"));
    f.setPointSize(8);
    setFont(f);
    setFixedSize(clientSize);
}

void TFixedDialog::CenterOnScreen() {
    if (const QScreen* s = screen())
        move(s->geometry().center() - rect().center());
}

bool TFixedDialog::event(QEvent* e) {
    if (int(e->type()) == WM_UPDATELANGUAGE) {
        WMUpdateLanguage();
        return true;
    }
    return QDialog::event(e);
}
