#pragma once
// What the account and service windows need from the program, handed to them
// instead of being looked up: the texts, the settings and where they are saved,
// the way pages open, and what happens around signing in and out.

#include <QString>
#include <atomic>
#include <functional>
#include <mutex>

class TLanguageObject;
class TNoteOptions;

struct TServiceEnv {
    const TLanguageObject* Language = nullptr;
    TNoteOptions* Options = nullptr;
    // Held while the account keys of Options change: worker threads copy them
    // under it. May be null when no other thread reads Options.
    std::mutex* AccountLock = nullptr;
    // The settings file the account keys are saved to; empty keeps them in memory.
    QString ConfigFile;
    // The signed-in user's number for the push channel; may be null.
    std::atomic<qint32>* PushUserId = nullptr;
    // Opens a web or mail address in the user's own programs.
    std::function<void(const QString& url)> OpenUrl;
    // After a successful sign-in: the full download, the push channel, the download page.
    std::function<void()> SignedIn;
    // After signing out: the push channel closes without a logout packet.
    std::function<void()> SignedOut;
    // Sign-out is confirmed and the account's keys are still set: its last
    // changes go up with its own credentials.
    std::function<void()> SigningOut;
    // Opens the download page (the about dialog's link does too).
    std::function<void()> ShowDownloadPage;
    // Opens the registration dialog (the sign-in dialog's link).
    std::function<void()> ShowRegister;
    // Time-outs of every service request in milliseconds; 0 keeps each
    // service's own (tests shorten them).
    int ConnectTimeoutMs = 0;
    int ReadTimeoutMs = 0;

    [[nodiscard]] std::unique_lock<std::mutex> LockAccount() const {
        return AccountLock ? std::unique_lock(*AccountLock) : std::unique_lock<std::mutex>();
    }

    void Open(const QString& url) const {
        if (OpenUrl)
            OpenUrl(url);
    }
};
