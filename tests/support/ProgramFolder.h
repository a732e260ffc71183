#pragma once
// A private copy of the built program folder (templates and language files) and
// an application-data root, so start-up can copy, delete and create as it does
// for a real user.

#include "app/uFmMain.h"

#include <QString>

namespace testenv {

struct TProgramSetup {
    QString ProgramFolder; // ends with '/'
    QString AppDataRoot;   // ends with '/'
    [[nodiscard]] QString DataFolder() const { return AppDataRoot + QStringLiteral("Zuvo/Note/"); }
    [[nodiscard]] TFmMainEnv Env() const;
};

// withTemplates: copy brisel.mdb and config.ini; the language files are always copied.
[[nodiscard]] TProgramSetup MakeProgramSetup(bool withTemplates = true);

} // namespace testenv
