#pragma once
// Runs the sync engine's runs on worker threads for the main window: each run
// on a thread of its own with its own store connection and HTTP client. The
// completion signals arrive on the thread that owns this object.

#include "data/uDataTypes.h"

#include <QList>
#include <QObject>
#include <QString>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "sync/uSyncEngine.h"

class QThread;

class TSyncWorkers : public QObject {
    Q_OBJECT
public:
    // Called on the worker thread; each returns once the main window has acted.
    struct THooks {
        std::function<void()> LoginFailed;
        std::function<void(const TNoteItem&)> NewNote;
        std::function<void()> NoteRemoved;
        std::function<void()> NotesChanged;
        // Need not wait: a row the server refused for its size.
        std::function<void(const QString& noteId)> RowTooLarge;
    };

    TSyncWorkers(QString storePath, QString audioFolder, THooks hooks, QObject* parent = nullptr);
    ~TSyncWorkers() override;

    // Upload of one note's pending row, or of every pending row with an empty id.
    void StartUpload(const QString& noteId, TUploadFields fields, bool notify);
    // The last upload of an account that is signing out: its own pending rows,
    // with the credentials it had, whatever the settings say by then.
    void StartLeavingUpload(const TServiceCredentials& leaving);
    // The server's deletion of a note that is already in the deletion queue.
    void StartDelete(const QString& noteId);
    // One full download at a time: false (and nothing started) while one runs.
    bool StartFullDownload();
    // Refreshes one note; done runs on this object's thread when the run ended.
    void StartSingleNote(const QString& noteId, std::function<void()> done);

    // Ends the waits between upload attempts and waits for every run to end,
    // keeping the caller's event loop turning (runs may be waiting on it).
    void StopAndWait();
    [[nodiscard]] int Running() const { return int(FThreads.size()); }

    // Tests shorten the pause between upload attempts.
    int UploadRetryPauseMs = 10000;
    // The server's body limit, once its basic information said it; runs
    // started afterwards cut their uploads to it.
    void SetMaxUploadBytes(qint64 bytes) { FMaxUploadBytes = bytes; }

signals:
    void UploadFinished(const QString& noteId, int uploadCount, bool notify);
    void DownloadFinished(const SyncEngine::TDownloadOutcome& outcome);

private:
    void launch(std::function<void()> run, std::function<void()> finished);
    [[nodiscard]] TSyncContext context();
    bool pause(int ms);

    QString FStorePath;
    QString FAudioFolder;
    THooks FHooks;
    QList<QThread*> FThreads;
    std::mutex FLock;
    std::condition_variable FWake;
    bool FStopping = false;
    qint64 FMaxUploadBytes = 0;
};
