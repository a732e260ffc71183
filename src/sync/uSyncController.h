#pragma once
// Keeps this computer's notes in step with the server: the sync runs on worker
// threads, the push channel with its keep-alive timer, the periodic upload, and
// what follows a sign-in or a sign-out. The main window owns one and tells the
// note windows what it reports; nothing here knows a window.

#include "data/uDataTypes.h"
#include "sync/uSyncEngine.h"

#include <QObject>
#include <QString>
#include <functional>

class QTimer;
class TPushChannel;
class TSyncWorkers;
struct TBasicInfo;

class SyncController : public QObject {
    Q_OBJECT
public:
    static constexpr int kUploadIntervalMs = 600000;

    // Run on this object's thread while the worker that needs them waits.
    struct THooks {
        // The stored credentials were refused; returns once the user has answered.
        std::function<void()> LoginFailed;
        // A note new to this computer is stored; returns once it has a window.
        std::function<void(const TNoteItem&)> NewNote;
    };

    SyncController(QString storePath, QString audioFolder, THooks hooks, QObject* parent = nullptr);
    ~SyncController() override;

    // Arms the timers and asks for the basic information, after which the push
    // channel opens (when someone is signed in).
    void Start(bool signedIn);
    // At exit: the timers stop and every run ends, the waits between upload
    // attempts cut short; the completion handlers run here meanwhile.
    void StopRuns();
    // At exit, after the last upload: a word to the server, then the channel closes.
    void CloseChannel();

    // An upload of one note's pending row, or of all pending rows with an empty id.
    void RequestUpload(const QString& noteId, TUploadFields fields, bool notify);
    // The server's deletion of a note already in the deletion queue.
    void RequestDelete(const QString& noteId);
    // A full download. One runs at a time; a request made meanwhile runs when
    // it ends, so no change announced meanwhile is missed.
    void RequestFullDownload();
    // Refreshes one note before it is edited; done runs here when the run ended.
    void RefreshNote(const QString& noteId, std::function<void()> done);

    // A sign-in succeeded: the notes are downloaded, the basic information is
    // read again and the channel connects where it says.
    void SignedIn();
    // An account is about to be forgotten: its pending rows go up with its own
    // credentials, in the background.
    void SigningOut();
    // The account was forgotten: the channel closes without a word to the server.
    void SignedOut();

    [[nodiscard]] TPushChannel* Push() const { return FPush; }
    [[nodiscard]] TSyncWorkers* Workers() const { return FWorkers; }
    [[nodiscard]] QTimer* UploadTimer() const { return FUploadTimer; }
    [[nodiscard]] QTimer* SocketTimer() const { return FSocketTimer; }
    // The largest body the server takes, as it said; 0 while not known.
    [[nodiscard]] qint64 MaxUploadBytes() const { return FMaxUploadBytes; }
    // A download was asked for while one ran; it starts when that one ends.
    [[nodiscard]] bool DownloadWaiting() const { return FDownloadAgain; }

signals:
    // A full download begins or ended: the windows do not enter editing between.
    void UpdatingBegin();
    void UpdatingEnd();
    // Sent while the download waits, so each window has acted before it goes on.
    void NotesChanged();
    void NoteRemoved();
    // An upload run ended; uploadCount rows were stored (the push notice, if
    // any, has gone out already).
    void UploadFinished(const QString& noteId, int uploadCount, bool notify);
    // The server refused this note's row for its size: it stays pending.
    void RowTooLarge(const QString& noteId);
    void DownloadFinished(const SyncEngine::TDownloadOutcome& outcome);

private:
    void StartBasicInfo(bool signedIn);
    void OnBasicInfo(const TBasicInfo& info);
    void OnUploadFinished(const QString& noteId, int uploadCount, bool notify);
    void OnDownloadFinished(const SyncEngine::TDownloadOutcome& outcome);
    void OnChannelOpened(bool again);

    TSyncWorkers* FWorkers = nullptr;
    TPushChannel* FPush = nullptr;
    QTimer* FUploadTimer = nullptr;
    QTimer* FSocketTimer = nullptr;
    qint64 FMaxUploadBytes = 0;
    bool FStopped = false;
    bool FDownloadAgain = false;
    // The last full download got no answer (the server was away): the channel
    // opening is the first sign that it is back.
    bool FLastDownloadFailed = false;
    // Basic-information runs started; only the newest one's answer is taken.
    int FBasicInfoRuns = 0;
};
