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
