#include "app/uZuvoApplication.h"

#include "app/uFmMain.h"
#include "lang/uLanguageObject.h"
#include "platform/gui/uAppIcon.h"
#include "platform/gui/uWindows.h"

#include <QTimer>
#include <exception>

void ShowErrorBox(const QString& text) {
    const TFmMain* main = FmMain();
    QString title = LanguageOrEmpty(main ? main->Language() : nullptr).Otherstitle_dlgerror();
    // Before the language table is loaded (a failed start) its texts are empty.
    if (title.isEmpty())
        title = TLanguageObject::DefaultText(QStringLiteral("Others"), QStringLiteral("title_dlgerror"));
    MessageBoxW(nullptr, text, title, MB_OK | MB_ICONERROR);
}

TZuvoApplication::TZuvoApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setWindowIcon(AppIcon());
}

bool TZuvoApplication::notify(QObject* receiver, QEvent* e) {
    try {
        return QApplication::notify(receiver, e);
    } catch (const std::exception& ex) {
        const QString text = QString::fromUtf8(ex.what());
        // Shown from the loop, not from inside the failing handler.
        QTimer::singleShot(0, this, [text] { ShowErrorBox(text); });
    } catch (...) {
        QTimer::singleShot(0, this, [] { ShowErrorBox(QStringLiteral("An unexpected error occurred.")); });
    }
    return false;
}
