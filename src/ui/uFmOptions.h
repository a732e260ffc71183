#pragma once
// The options dialog: start with the session, show the notes on the desktop,
// the language of the next start, the date stamp of list-style notes and its
// format, and the page about the portable version. Changes take effect on Save only.

#include "note/uNoteContext.h"
#include "platform/gui/uFixedDialog.h"

#include <QString>
#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QKeySequenceEdit;
class QLabel;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QWidget;

class TFmOptions : public TFixedDialog {
    Q_OBJECT
public:
    // The context gives the texts, the settings' folder and the tray's check mark.
    explicit TFmOptions(QWidget* parent = nullptr, TNoteContextPtr context = {});

    // Opens the dialog modally with the given owner, the way the tray's Options command does.
    static int Execute(QWidget* owner, TNoteContextPtr context);
    // Opens web pages; tests replace it.
    static std::function<void(const QString& url)> OpenUrlHook;
    // The executable the autostart entry must name; tests replace it.
    static std::function<QString()> ExecutablePath;

    QTabWidget* PageControl1;
    QWidget* tsGeneral;
    QCheckBox* chkAutoStart;
    QCheckBox* chkShowNotes;
    QLabel* lblShortcut;
    QKeySequenceEdit* HotKey1;
    QLabel* lblLanguage;
    QComboBox* cbbLanguage;
    QLabel* lblLanguageHint;
    QWidget* TabSheet1;
    QCheckBox* chkInsertTimeAuto;
    QGroupBox* grpDateFormat;
    QRadioButton* rbDFDateShort;
    QRadioButton* rbDFDateLong;
    QRadioButton* rbDFDateTimeShort;
    QRadioButton* rbDFDateTimeLong;
    QWidget* tsGreenVersion;
    QLabel* lblGreenVersionHint;
    QPushButton* btnCreateGreenVersion;
    QPushButton* btnSave;
    QPushButton* btnCancel;

    void btnSaveClick();
    void btnCreateGreenVersionClick();

protected:
private:
    void WMUpdateLanguage() override;
    // The date-format buttons in the order of the stored formats.
    [[nodiscard]] std::array<QRadioButton*, 4> FormatButtons() const;

    TNoteContextPtr FContext;
};
