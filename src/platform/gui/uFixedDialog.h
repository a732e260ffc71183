#pragma once
// A dialog in the program's dialog font (Tahoma 8 pt, or what fontconfig puts
// in its place) that takes its texts on WM_UPDATELANGUAGE. Its designed size is
// its smallest: a dialog built on a layout grows where a language's texts or the
// desktop's font need more room, so no caption is ever cut off.

#include <QDialog>
#include <initializer_list>

class QLayout;

class TFixedDialog : public QDialog {
    Q_OBJECT
protected:
    TFixedDialog(QWidget* parent, Qt::WindowFlags flags, QSize clientSize);

    // Centred on the screen it is on, not on its owner (a note may sit at an edge).
    void CenterOnScreen();
    // Sets every text from the current language.
    virtual void WMUpdateLanguage() = 0;
    bool event(QEvent* e) override;
    // Places the controls by this layout from now on; the size given at
    // construction becomes the smallest the dialog gets.
    void UseLayout(QLayout* layout);
    // Makes the dialog as large as its texts now need (at least its designed size).
    void FitContents();
    // Tab walks these in this order.
    static void SetTabOrder(std::initializer_list<QWidget*> widgets);

private:
    QSize FDesignedSize;
};
