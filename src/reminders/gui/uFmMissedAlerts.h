#pragma once
// The one window that lists the reminders missed while the program was not
// running or the computer slept: each with its note's text and the time it was
// due, and a button that opens the note. Not modal; nothing rings.

#include "note/uNoteContext.h"
#include "reminders/uMissedReminders.h"

#include <QDialog>
#include <QList>

class QLabel;
class QPushButton;
class QTreeWidget;

class TFmMissedAlerts : public QDialog {
    Q_OBJECT
public:
    explicit TFmMissedAlerts(QWidget* parent = nullptr, TNoteContextPtr context = {});

    // Adds reminders to the list (a later wake adds to a window still open).
    void AddMissed(const QList<TMissedReminder>& missed);
    [[nodiscard]] int Count() const;

    QLabel* lblMissed = nullptr;
    QTreeWidget* lvMissed = nullptr;
    QPushButton* btnClose = nullptr;

signals:
    void OpenNoteRequested(const QString& noteId);

protected:
    bool event(QEvent* e) override;

private:
    void WMUpdateLanguage();

    TNoteContextPtr FContext;
};
