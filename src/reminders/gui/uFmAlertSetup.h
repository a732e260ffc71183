#pragma once
// The reminder set-up dialog of one note: reads the note's reminder from its
// row, lets the user choose a kind, its time and an alarm sound (with a
// preview), writes the choice back marked for upload and hands exactly the
// stored values to the note's schedule object.

#include "note/uNoteContext.h"
#include "platform/gui/uFixedDialog.h"

#include <QPointer>
#include <QString>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QPushButton;
class QRadioButton;
class QTimeEdit;
class QTimer;
class TAudioPlayer;
class TScheduleObject;

class TFmAlertSetup : public TFixedDialog {
    Q_OBJECT
public:
    // The context gives the note's row, the texts and the alarm sounds' folder.
    explicit TFmAlertSetup(QWidget* parent = nullptr, TNoteContextPtr context = {});
    ~TFmAlertSetup() override;

    // Creates the dialog owned by `owner`, shows it modally for this note and
    // schedule object and frees it; returns its result (QDialog::Accepted on Save).
    static int Execute(QWidget* owner, const QString& noteId, TScheduleObject* schedule,
                       TNoteContextPtr context);

    // Set by the opener before the dialog is shown.
    QString NoteId;
    QPointer<TScheduleObject> schObject;

    // The weekday flags of the weekly kind (seven "0"/"1", Monday first).
    QString strEveryWeekByDay;
    // 0: no preview playing; 1: the preview plays.
    int SoundStatus = 0;

    QGroupBox* grpAlertSetup;
    QRadioButton* rbNoAlert;
    QRadioButton* rbFixedTime;
    QDateEdit* dtpFixedDate;
    QTimeEdit* dtpFixedTime;
    QRadioButton* rbEveryHour;
    QTimeEdit* dtpEveryHour;
    QRadioButton* rbEveryDay;
    QTimeEdit* dtpEveryDay;
    QRadioButton* rbEveryWeekByday;
    QPushButton* btnSelectWeekday;
    QTimeEdit* dtpEveryWeekByday;
    QRadioButton* rbEveryMonth;
    QComboBox* cboEveryMonth;
    QTimeEdit* dtpEveryMonth;
    // The older weekly kind (one named weekday): never offered, kept so that a
    // stored one loads and saves unchanged.
    QRadioButton* rbEveryWeek;
    QComboBox* cboEveryWeek;
    QTimeEdit* dtpEveryWeek;

    QGroupBox* grpSound;
    QCheckBox* chkSound;
    QComboBox* cbbSound;
    QComboBox* cbbSoundName;
    QPushButton* btnPlay;
    QPushButton* btnSave;
    QPushButton* btnCancel;
    QTimer* tmrPlay;

    // Reads the note's reminder into the controls (done once when first shown).
    void LoadReminder();
    void btnSaveClick();
    void btnPlayClick();
    void btnSelectWeekdayClick();
    void tmrPlayTimer();
    [[nodiscard]] TAudioPlayer* PreviewPlayer() const { return FPlayer; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    void WMUpdateLanguage() override;
    void UpdateEnabling();
    void SelectSound(const QString& name);
    void EndPreview();

    TNoteContextPtr FContext;
    QButtonGroup* FKinds;
    TAudioPlayer* FPlayer;
    bool FLoaded = false;
};
