#include "app/uZuvoApplication.h"

#include "platform/gui/uAppIcon.h"
#include "platform/gui/uWindows.h"

#include <QTimer>
#include <exception>

TZuvoApplication::TZuvoApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setWindowIcon(AppIcon());
}

bool TZuvoApplication::notify(QObject* receiver, QEvent* e) {
    try {
        return QApplication::notify(receiver, e);
    } catch (const std::exception& ex) {
        const QString text = QString::fromUtf8(ex.what());
        // Shown from the loop, not from inside the failing handler.
        QTimer::singleShot(0, this, [text] {
            MessageBoxW(nullptr, text, QStringLiteral("Zuvo Note"), MB_OK | MB_ICONERROR);
        });
    } catch (...) {
        QTimer::singleShot(0, this, [] {
            MessageBoxW(nullptr, QStringLiteral("An unexpected error occurred."), QStringLiteral("Zuvo Note"),
                        MB_OK | MB_ICONERROR);
        });
    }
    return false;
}
