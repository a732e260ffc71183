#pragma once
// A private copy of the built program folder (templates and language files) and
// an application-data root, so start-up can copy, delete and create as it does
// for a real user.

#include "app/uFmMain.h"

#include <QString>
#include <gtest/gtest.h>
#include <memory>

namespace testenv {

struct TProgramSetup {
    QString ProgramFolder; // ends with '/'
    QString AppDataRoot;   // ends with '/'
    [[nodiscard]] QString DataFolder() const { return AppDataRoot + QStringLiteral("Zuvo/Note/"); }
    [[nodiscard]] TFmMainEnv Env() const;
};

// withTemplates: copy brisel.mdb and config.ini; the language files are always copied.
[[nodiscard]] TProgramSetup MakeProgramSetup(bool withTemplates = true);

// A main window started on a fresh program setup and shut down with this
// object, for the tests that exercise what only the main window does.
class TStartedMain {
public:
    TStartedMain();
    ~TStartedMain();
    TStartedMain(const TStartedMain&) = delete;
    TStartedMain& operator=(const TStartedMain&) = delete;

    TProgramSetup Setup;
    std::unique_ptr<TFmMain> Main;
    // Why the start-up failed; empty when it worked.
    QString Error;
};

// A fixture whose windows are made on `Context` (a TNoteContextPtr), moved onto
// a started main window's context for what needs the main window itself.
template <class Fixture> class TOnStartedMain : public Fixture {
protected:
    void SetUp() override {
        Fixture::SetUp();
        Started = std::make_unique<TStartedMain>();
        ASSERT_TRUE(Started->Error.isEmpty()) << Started->Error.toStdString();
        Main = Started->Main.get();
        this->Context = Main->NoteContext();
    }
    void TearDown() override {
        this->Context.reset();
        Started.reset();
        Fixture::TearDown();
    }

    std::unique_ptr<TStartedMain> Started;
    TFmMain* Main = nullptr;
};

} // namespace testenv
