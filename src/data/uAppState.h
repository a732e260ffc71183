#pragma once
// Process-wide state shared by the windows and the worker threads.

#include "data/uNoteOptions.h"

#include <QMutex>
#include <QStringList>
#include <atomic>
#include <mutex>

// The settings keys that name the account and this computer to the services.
struct TAccountKeys {
    QString UserID;
    QString UserPass;
    QString UserName;
    QString PcID;
};

struct TAppState {
    // The one settings object, the UI thread's own. Its account keys (UserID,
    // UserPass, UserName, PcID) change only while AccountLock is held; other
    // threads never read the object, only AccountSnapshot().
    TNoteOptions NoteOptions;
    mutable std::mutex AccountLock;
    // The language this run speaks. The setting may already name another one,
    // chosen in Options for the next start. Empty: the setting's.
    QString InterfaceLanguage;
    // Upload workers running now; shutdown waits until it is 0.
    std::atomic<int> RunningUploadCount{0};
    // One full download at a time.
    std::atomic<bool> DownloadRunning{false};
    // A note's text is open for editing.
    std::atomic<bool> NoteEditing{false};
    // Ids of notes whose alarm window is open (UI thread only).
    QStringList OpenAlarmList;
    // The signed-in user's number for the push channel.
    std::atomic<qint32> PushUserId{0};

    // A consistent copy of the account keys, for any thread.
    [[nodiscard]] TAccountKeys AccountSnapshot() const;
    // Loads the settings file into NoteOptions (UI thread).
    void LoadSettings(const QString& fileName);
};

// Created on first use, lives until the process ends.
[[nodiscard]] TAppState& AppState();
