#include "platform/gui/uFixedDialog.h"

#include "platform/gui/uAccessibleNames.h"
#include "platform/uMessages.h"

#include <QLayout>
#include <QScreen>

TFixedDialog::TFixedDialog(QWidget* parent, Qt::WindowFlags flags, QSize clientSize)
    : QDialog(parent, flags), FDesignedSize(clientSize) {
    QFont f(QStringLiteral("Tahoma"));
    f.setPointSize(8);
    setFont(f);
    setFixedSize(clientSize);
}

void TFixedDialog::UseLayout(QLayout* layout) {
    setMinimumSize(FDesignedSize);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    setLayout(layout);
    FitContents();
}

void TFixedDialog::FitContents() {
    QLayout* l = layout();
    if (!l)
        return;
    l->invalidate();
    l->activate();
    const QSize needed = FDesignedSize.expandedTo(l->minimumSize());
    setMinimumSize(needed);
    // A word-wrapped text asks for its height at the width it gets.
    QSize fitted = size().expandedTo(needed);
    if (l->hasHeightForWidth())
        fitted.setHeight(qMax(fitted.height(), l->totalHeightForWidth(fitted.width())));
    resize(fitted);
}

void TFixedDialog::SetTabOrder(std::initializer_list<QWidget*> widgets) {
    QWidget* previous = nullptr;
    for (QWidget* w : widgets) {
        if (previous)
            setTabOrder(previous, w);
        previous = w;
    }
}

void TFixedDialog::CenterOnScreen() {
    if (const QScreen* s = screen())
        move(s->geometry().center() - rect().center());
}

bool TFixedDialog::event(QEvent* e) {
    if (int(e->type()) == WM_UPDATELANGUAGE) {
        WMUpdateLanguage();
        NameUnnamedControls(this);
        FitContents();
        return true;
    }
    const bool done = QDialog::event(e);
    // Another face (the desktop's font settings) needs another size; so does a
    // control inside that learnt of a new text or font after the dialog did.
    if (e->type() == QEvent::FontChange)
        FitContents();
    else if (e->type() == QEvent::LayoutRequest && layout() &&
             minimumSize().expandedTo(layout()->minimumSize()) != minimumSize())
        FitContents();
    return done;
}
