#pragma once
// The application object: a handler that lets an error escape (a store statement
// that fails, for one) is reported in a message box and ends only that handler,
// instead of ending the program.

#include <QApplication>

class TZuvoApplication : public QApplication {
public:
    TZuvoApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* e) override;
};

// An error message box titled from the language table ("Error"): broadcasts to
// the note windows go by their title, so no other window may share it.
void ShowErrorBox(const QString& text);
