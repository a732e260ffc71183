#pragma once
// Chooses the weekdays of a weekly reminder: seven boxes, Monday first.

#include "platform/gui/uFixedDialog.h"

#include <QString>
#include <array>

class QCheckBox;
class QGroupBox;
class QPushButton;
class TLanguageObject;

class TFmSelectWeekday : public TFixedDialog {
    Q_OBJECT
public:
    // Without a table the texts are empty.
    explicit TFmSelectWeekday(QWidget* parent = nullptr, const TLanguageObject* language = nullptr);

    // Seven "0"/"1" characters, Monday first; OK rebuilds it, Cancel leaves it.
    QString selectedWeekday;

    QGroupBox* GroupBox1;
    std::array<QCheckBox*, 7> chkDay{};
    QPushButton* btnOK;
    QPushButton* btnCancel;

    void btnOKClick();

protected:
    void showEvent(QShowEvent* e) override;

private:
    void WMUpdateLanguage() override;

    const TLanguageObject* FLanguage;
};
