#pragma once
// Process-wide state shared by the windows and the worker threads.

#include "data/uNoteOptions.h"

#include <QMutex>
#include <QStringList>
#include <atomic>

struct TAppState {
    // The one settings object; read by workers without a lock, as designed.
    TNoteOptions NoteOptions;
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
};

// Created on first use, lives until the process ends.
[[nodiscard]] TAppState& AppState();
