#include "platform/gui/uAccessibleNames.h"

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QGroupBox>
#include <QWidget>

namespace {

// The parts of a spin box or combo box are read as the box itself.
bool isPartOfCompound(const QWidget* w, const QWidget* window) {
    for (const QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
        if (qobject_cast<const QAbstractSpinBox*>(p) || qobject_cast<const QComboBox*>(p))
            return true;
    return false;
}

QString surroundingName(const QWidget* w, const QWidget* window) {
    if (!w->toolTip().isEmpty())
        return w->toolTip();
    for (const QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
        if (const auto* g = qobject_cast<const QGroupBox*>(p); g && !g->title().isEmpty())
            return QString(g->title()).remove(QLatin1Char('&'));
    return window->windowTitle();
}

} // namespace

void NameUnnamedControls(QWidget* window) {
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (w->isWindow() || !(w->focusPolicy() & Qt::TabFocus) || isPartOfCompound(w, window))
            continue;
        // A name given earlier by this function is renewed: the language may have changed.
        const bool ours = w->property("zuvoDerivedName").toBool();
        if (!ours && !w->accessibleName().isEmpty())
            continue;
        if (ours)
            w->setAccessibleName(QString());
        const QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        if (a && !a->text(QAccessible::Name).trimmed().isEmpty())
            continue;
        w->setAccessibleName(surroundingName(w, window));
        w->setProperty("zuvoDerivedName", true);
    }
}
