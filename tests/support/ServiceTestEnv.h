#pragma once
// A service environment for the account and service windows in tests: English
// texts, settings of their own saved in a fresh folder, a loopback server as the
// server root, short time-outs, and message boxes and opened addresses recorded
// instead of shown.

#include "account/uServiceEnv.h"
#include "data/uNoteOptions.h"
#include "lang/uLanguageObject.h"
#include "net/uEndpoints.h"
#include "platform/gui/uWindows.h"
#include "shared/uIniFile.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestEnv.h"

#include <QStringList>
#include <QTest>
#include <atomic>
#include <memory>

namespace testenv {

struct TShownMessage {
    QString Text;
    QString Caption;
    unsigned Type = 0;
};

class TServiceTestEnv {
public:
    explicit TServiceTestEnv(const QString& name) : FFolder(freshDir(name)) {
        const TIniFile none;
        Language.LoadSettings(&none);
        SetServerRoot(Server.baseUrl());
        Env.Language = &Language;
        Env.Options = &Options;
        Env.ConfigFile = FFolder + QStringLiteral("/config.ini");
        Env.PushUserId = &PushUserId;
        Env.OpenUrl = [this](const QString& url) { Opened << url; };
        Env.SignedIn = [this] { ++SignedInCount; };
        Env.SignedOut = [this] { ++SignedOutCount; };
        Env.ShowDownloadPage = [this] { ++DownloadPageCount; };
        Env.ConnectTimeoutMs = 1000;
        Env.ReadTimeoutMs = 400;
        FPrevious = SetMessageBoxHandler(
            [this](QWidget*, const QString& text, const QString& caption, unsigned type) {
                Messages.append({text, caption, type});
                return IDOK;
            });
    }
    ~TServiceTestEnv() {
        SetMessageBoxHandler(FPrevious);
        SetServerRoot(QString());
    }
    TServiceTestEnv(const TServiceTestEnv&) = delete;
    TServiceTestEnv& operator=(const TServiceTestEnv&) = delete;

    [[nodiscard]] QString lastMessage() const {
        return Messages.isEmpty() ? QString() : Messages.last().Text;
    }
    [[nodiscard]] bool configWritten() const { return QFileInfo::exists(Env.ConfigFile); }
    // Waits until the window's request has come back.
    template <typename W> [[nodiscard]] static bool settle(const W& window, int ms = 8000) {
        return QTest::qWaitFor([&] { return !window.Busy(); }, ms);
    }

    TLoopbackHttpServer Server;
    TLanguageObject Language;
    TNoteOptions Options;
    std::atomic<qint32> PushUserId{-7};
    TServiceEnv Env;
    QList<TShownMessage> Messages;
    QStringList Opened;
    int SignedInCount = 0;
    int SignedOutCount = 0;
    int DownloadPageCount = 0;

private:
    QString FFolder;
    TMessageBoxHandler FPrevious;
};

// A root where nothing listens, and where nothing can start listening.
[[nodiscard]] inline QString deadRoot() {
    return refusedRoot();
}

} // namespace testenv
