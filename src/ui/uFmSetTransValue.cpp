#include "ui/uFmSetTransValue.h"

#include "lang/uLanguageObject.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

TFmSetTransValue::TFmSetTransValue(QWidget* owner, const TLanguageObject* language)
    : TFmAppearanceDialog(owner, language, QSize(320, 138)), GroupBox1(new QGroupBox(this)),
      TrackBar1(new QSlider(Qt::Horizontal, GroupBox1)) {
    TrackBar1->setMinimumSize(286, 30);
    TrackBar1->setRange(20, 100);
    TrackBar1->setPageStep(10);
    TrackBar1->setTickPosition(QSlider::NoTicks);
    chkApply2AllNote->setParent(GroupBox1);
    auto* group = new QVBoxLayout(GroupBox1);
    group->setContentsMargins(10, 8, 10, 8);
    group->addWidget(TrackBar1);
    group->addWidget(chkApply2AllNote);
    btnOK->setMinimumSize(60, 25);
    btnCancel->setMinimumSize(59, 25);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* main = new QVBoxLayout;
    main->setContentsMargins(8, 8, 8, 8);
    main->addWidget(GroupBox1, 1);
    main->addLayout(buttons);
    UseLayout(main);

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
