#pragma once
// A fixed-size dialog in the program's dialog font (Tahoma 8 pt, or what
// fontconfig puts in its place) that takes its texts on WM_UPDATELANGUAGE.

#include <QDialog>

class TFixedDialog : public QDialog {
    Q_OBJECT
protected:
    TFixedDialog(QWidget* parent, Qt::WindowFlags flags, QSize clientSize);

    // Centred on the screen it is on, not on its owner (a note may sit at an edge).
    void CenterOnScreen();
    // Sets every text from the current language.
    virtual void WMUpdateLanguage() = 0;
    bool event(QEvent* e) override;
};
