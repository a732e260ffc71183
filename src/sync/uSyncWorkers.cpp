#include "sync/uSyncWorkers.h"

#include "data/uAppState.h"
#include "data/uNoteStore.h"
#include "platform/uThreadHandOver.h"
#include "sync/uSyncEngine.h"

#include <QCoreApplication>
#include <QThread>

TSyncWorkers::TSyncWorkers(QString storePath, QString audioFolder, THooks hooks, QObject* parent)
    : QObject(parent), FStorePath(std::move(storePath)), FAudioFolder(std::move(audioFolder)),
      FHooks(std::move(hooks)) {}

TSyncWorkers::~TSyncWorkers() {
    StopAndWait();
}

TSyncContext TSyncWorkers::context() {
    TSyncContext c;
    c.Endpoint = TServiceEndpoint::Configured();
    // Read at each attempt, so a sign-in during a run takes effect, and copied
    // under the lock the dialogs hold while they change the account.
    c.Credentials = [] {
        const TAccountKeys a = AppState().AccountSnapshot();
        return TServiceCredentials{a.UserID, a.UserPass, a.PcID, a.UserName};
    };
    c.AudioFolder = FAudioFolder;
    c.LoginFailed = FHooks.LoginFailed;
    c.NewNote = FHooks.NewNote;
    c.NoteRemoved = FHooks.NoteRemoved;
    c.NotesChanged = FHooks.NotesChanged;
    c.RowTooLarge = FHooks.RowTooLarge;
    c.MaxUploadBytes = FMaxUploadBytes;
    c.Pause = [this](int ms) { return pause(ms); };
    c.UploadRetryPauseMs = UploadRetryPauseMs;
    return c;
}

bool TSyncWorkers::pause(int ms) {
    std::unique_lock l(FLock);
    FWake.wait_for(l, std::chrono::milliseconds(ms), [this] { return FStopping; });
    return !FStopping;
}

void TSyncWorkers::launch(std::function<void()> run, std::function<void()> finished) {
    QThread* t = CreateThread(std::move(run));
    FThreads.append(t);
    connect(t, &QThread::finished, this, [this, t, finished = std::move(finished)] {
        ThreadEnded(t);
        FThreads.removeOne(t);
        t->deleteLater();
        if (finished)
            finished();
    });
    t->start();
}

void TSyncWorkers::StartUpload(const QString& noteId, TUploadFields fields, bool notify) {
    auto count = std::make_shared<int>(0);
    // Counted from before the thread starts, so an exit that begins now waits for it.
    ++AppState().RunningUploadCount;
    launch(
        [ctx = context(), path = FStorePath, noteId, fields, count] {
            try {
                auto db = SyncEngine::OpenStore(path);
                *count = SyncEngine::RunUpload(*db, ctx, noteId, fields);
            } catch (const std::exception&) {
                // A store error ends the run; the rows stay pending.
            }
            --AppState().RunningUploadCount;
        },
        [this, noteId, notify, count] { emit UploadFinished(noteId, *count, notify); });
}

void TSyncWorkers::StartLeavingUpload(const TServiceCredentials& leaving) {
    ++AppState().RunningUploadCount;
    TSyncContext ctx = context();
    ctx.Credentials = [leaving] { return leaving; };
    ctx.ClaimUnowned = false;
    // Nobody answers a refusal any more: the rows stay pending under the account.
    ctx.LoginFailed = nullptr;
    launch(
        [ctx, path = FStorePath] {
            try {
                auto db = SyncEngine::OpenStore(path);
                (void)SyncEngine::RunUpload(*db, ctx, QString());
            } catch (const std::exception&) {
                // What did not go up stays pending under its account.
            }
            --AppState().RunningUploadCount;
        },
        {});
}

void TSyncWorkers::StartDelete(const QString& noteId) {
    launch(
        [ctx = context(), path = FStorePath, noteId] {
            try {
                auto db = SyncEngine::OpenStore(path);
                (void)SyncEngine::RunDelete(*db, ctx, noteId);
            } catch (const std::exception&) {
                // Still queued: the next upload sends it again.
            }
        },
        {});
}

bool TSyncWorkers::StartFullDownload() {
    if (AppState().DownloadRunning.exchange(true))
        return false;
    auto outcome = std::make_shared<SyncEngine::TDownloadOutcome>();
    launch(
        [ctx = context(), path = FStorePath, outcome] {
            try {
                auto db = SyncEngine::OpenStore(path);
                *outcome = SyncEngine::RunFullDownload(*db, ctx);
            } catch (const std::exception&) {
                // What was applied before the error stays applied.
            }
            AppState().DownloadRunning = false;
        },
        [this, outcome] { emit DownloadFinished(*outcome); });
    return true;
}

void TSyncWorkers::StartSingleNote(const QString& noteId, std::function<void()> done) {
    launch(
        [ctx = context(), path = FStorePath, noteId] {
            try {
                auto db = SyncEngine::OpenStore(path);
                SyncEngine::RunSingleNote(*db, ctx, noteId);
            } catch (const std::exception&) {
                // The note opens with what the store holds.
            }
        },
        std::move(done));
}

void TSyncWorkers::StopAndWait() {
    {
        std::lock_guard l(FLock);
        FStopping = true;
    }
    FWake.notify_all();
    // A thread leaves the list when its finished signal is handled here.
    while (!FThreads.isEmpty()) {
        QThread::msleep(5);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}
