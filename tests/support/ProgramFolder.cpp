#include "support/ProgramFolder.h"

#include "support/TestEnv.h"

#include <QDir>
#include <QFile>

namespace testenv {

TFmMainEnv TProgramSetup::Env() const {
    TFmMainEnv env;
    env.ProgramFolder = ProgramFolder;
    env.AppDataRoot = AppDataRoot;
    env.ShowTray = false;
    // Signed-in starts reach no server unless a test names one: not even one
    // that someone runs on the default port.
    env.DefaultServerRoot = refusedRoot();
    env.ApiBase = env.DefaultServerRoot + QStringLiteral("api/v11/");
    // The desktop these tests were written for; a test of the choice itself sets its own.
    env.DesktopLocale = QLocale(QLocale::Chinese, QLocale::China);
    env.ShutdownUploadTimeoutMs = 2000;
    return env;
}

TStartedMain::TStartedMain() : Setup(MakeProgramSetup()), Main(std::make_unique<TFmMain>(Setup.Env())) {
    if (!Main->Startup(&Error) && Error.isEmpty())
        Error = QStringLiteral("start-up failed");
}

TStartedMain::~TStartedMain() {
    Main->Shutdown();
}

TProgramSetup MakeProgramSetup(bool withTemplates) {
    TProgramSetup s;
    s.ProgramFolder = freshDir(QStringLiteral("program")) + QLatin1Char('/');
    s.AppDataRoot = freshDir(QStringLiteral("appdata")) + QLatin1Char('/');
    const QString bin = binDir() + QLatin1Char('/');
    QDir().mkpath(s.ProgramFolder + QStringLiteral("languages"));
    for (const QString& lng : QDir(bin + QStringLiteral("languages")).entryList({QStringLiteral("*.lng")}))
        QFile::copy(bin + QStringLiteral("languages/") + lng,
                    s.ProgramFolder + QStringLiteral("languages/") + lng);
    if (withTemplates) {
        QFile::copy(bin + QStringLiteral("brisel.mdb"), s.ProgramFolder + QStringLiteral("brisel.mdb"));
        // The build's own program folder may have lost its template to a real start.
        QFile::copy(sourceDir() + QStringLiteral("/resources/config.ini"),
                    s.ProgramFolder + QStringLiteral("config.ini"));
    }
    return s;
}

} // namespace testenv
