#include "ui/uFmSetTransValue.h"

#include "lang/uLanguageObject.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QSlider>

TFmSetTransValue::TFmSetTransValue(QWidget* owner, const TLanguageObject* language)
    : TFmAppearanceDialog(owner, language, QSize(320, 138)), GroupBox1(new QGroupBox(this)),
      TrackBar1(new QSlider(Qt::Horizontal, GroupBox1)) {
    GroupBox1->setGeometry(8, 8, 305, 89);
    TrackBar1->setGeometry(10, 28, 286, 30);
    TrackBar1->setRange(20, 100);
    TrackBar1->setPageStep(10);
    TrackBar1->setTickPosition(QSlider::NoTicks);
    chkApply2AllNote->setParent(GroupBox1);
    chkApply2AllNote->setGeometry(19, 60, 270, 17);
    btnOK->setGeometry(187, 105, 60, 25);
    btnCancel->setGeometry(253, 105, 59, 25);

    connect(TrackBar1, &QSlider::valueChanged, this, [this] {
        // The start position is the opener's, not the user's: nothing to preview.
        if (isVisible())
            Preview(WM_SETTRANS, Alpha());
    });
    SendMessageW(this, WM_UPDATELANGUAGE);
}

int TFmSetTransValue::Alpha() const {
    return AlphaOfPosition(TrackBar1->value());
}

void TFmSetTransValue::accept() {
    Commit(WM_SETTRANS, Alpha());
    TFmAppearanceDialog::accept();
}

void TFmSetTransValue::reject() {
    // The close box and Escape come here too: a previewed alpha never stays on a
    // note without being kept or given up.
    Revert(WM_SETTRANS, Alpha());
    TFmAppearanceDialog::reject();
}

void TFmSetTransValue::WMUpdateLanguage() {
    TFmAppearanceDialog::WMUpdateLanguage();
    setWindowTitle(Language().FmSetTransCaption());
    GroupBox1->setTitle(Language().FmSetTransCaption());
}
