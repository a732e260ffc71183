#include "sync/uSyncController.h"

#include "data/uAppState.h"
#include "net/uEndpoints.h"
#include "platform/uBlockingCall.h"
#include "platform/uThreadHandOver.h"
#include "sync/uOtherTask.h"
#include "sync/uPushChannel.h"
#include "sync/uSyncWorkers.h"

#include <QTimer>

namespace {

// How long a worker waits for this thread before it goes on; what it handed
// over still runs, in order, once the thread is free.
constexpr int kUiWaitMs = 1000;

} // namespace

SyncController::SyncController(QString storePath, QString audioFolder, THooks hooks, QObject* parent)
    : QObject(parent) {
    TSyncWorkers::THooks w;
    // Each runs on a worker thread and returns once this thread has acted.
    // The refused sign-in waits for the user's answer: the next attempt needs it.
    w.LoginFailed = [this, f = hooks.LoginFailed] {
        if (f)
            RunOnThreadOfAndWait(this, f);
    };
    w.NewNote = [this, f = hooks.NewNote](const TNoteItem& n) {
        if (f)
            (void)RunOnThreadOf(
                this, [f, n] { f(n); }, kUiWaitMs);
    };
    w.NoteRemoved = [this] {
        (void)RunOnThreadOf(
            this, [this] { emit NoteRemoved(); }, kUiWaitMs);
    };
    w.NotesChanged = [this] {
        (void)RunOnThreadOf(
            this, [this] { emit NotesChanged(); }, kUiWaitMs);
    };
    // Nobody needs to wait for this one.
    w.RowTooLarge = [this](const QString& id) { PostToThreadOf(this, [this, id] { emit RowTooLarge(id); }); };
    FWorkers = new TSyncWorkers(std::move(storePath), std::move(audioFolder), std::move(w), this);
    connect(FWorkers, &TSyncWorkers::UploadFinished, this, &SyncController::OnUploadFinished);
    connect(FWorkers, &TSyncWorkers::DownloadFinished, this, &SyncController::OnDownloadFinished);

    FPush = new TPushChannel(this);
    FPush->SetServer(QString::fromLatin1(kDefaultPushServer), PushServerPort());
    connect(FPush, &TPushChannel::NoteChangedNotice, this, &SyncController::RequestFullDownload);
    connect(FPush, &TPushChannel::ChannelOpened, this, &SyncController::OnChannelOpened);

    FUploadTimer = new QTimer(this);
    FUploadTimer->setInterval(kUploadIntervalMs);
    connect(FUploadTimer, &QTimer::timeout, this,
            [this] { RequestUpload(QString(), TUploadFields{}, true); });
    FSocketTimer = new QTimer(this);
    FSocketTimer->setInterval(TPushChannel::kKeepAliveIntervalMs);
    connect(FSocketTimer, &QTimer::timeout, FPush, &TPushChannel::tmrSocketTimer);
}

SyncController::~SyncController() {
    // Runs still going may call back into this object; they end while it is whole.
    FWorkers->StopAndWait();
}

void SyncController::Start(bool signedIn) {
    StartBasicInfo(signedIn);
    FUploadTimer->start();
    FSocketTimer->start();
}

void SyncController::StopRuns() {
    FStopped = true;
    FUploadTimer->stop();
    FSocketTimer->stop();
    FWorkers->StopAndWait();
}

void SyncController::CloseChannel() {
    FPush->SendCloseData();
    FPush->CloseClientSock();
}

void SyncController::StartBasicInfo(bool signedIn) {
    const int run = ++FBasicInfoRuns;
    TOtherTaskThread::Start(this, signedIn, [this, run](const TBasicInfo& info) {
        // An older run's answer is not taken over a newer sign-in's.
        if (run == FBasicInfoRuns)
            OnBasicInfo(info);
    });
}

void SyncController::OnBasicInfo(const TBasicInfo& info) {
    if (FStopped)
        return;
    if (!info.PushAddress.isEmpty())
        FPush->SetServer(info.PushAddress, FPush->ServerPort());
    else if (FPush->ServerAddress().isEmpty())
        FPush->SetServer(QString::fromLatin1(kDefaultPushServer), FPush->ServerPort());
    if (FPush->ServerPort() == 0)
        FPush->SetServer(FPush->ServerAddress(), kDefaultPushPort);
    if (info.MaxUploadBytes > 0) {
        FMaxUploadBytes = info.MaxUploadBytes;
        FWorkers->SetMaxUploadBytes(info.MaxUploadBytes);
    }
    FPush->CreateClientSock();
}

void SyncController::RequestUpload(const QString& noteId, TUploadFields fields, bool notify) {
    if (FStopped)
        return;
    FWorkers->StartUpload(noteId, fields, notify);
}

void SyncController::RequestDelete(const QString& noteId) {
    if (FStopped)
        return;
    FWorkers->StartDelete(noteId);
}

void SyncController::RequestFullDownload() {
    if (FStopped)
        return;
    if (AppState().DownloadRunning) {
        FDownloadAgain = true;
        return;
    }
    // The windows hear of it before the worker can touch a row.
    emit UpdatingBegin();
    if (!FWorkers->StartFullDownload()) {
        FDownloadAgain = true;
        emit UpdatingEnd();
    }
}

void SyncController::RefreshNote(const QString& noteId, std::function<void()> done) {
    if (FStopped) {
        QTimer::singleShot(0, this, std::move(done));
        return;
    }
    FWorkers->StartSingleNote(noteId, std::move(done));
}

void SyncController::OnUploadFinished(const QString& noteId, int uploadCount, bool notify) {
    if (uploadCount > 0 && notify)
        FPush->SendNoteChanged(noteId);
    emit UploadFinished(noteId, uploadCount, notify);
    if (!AppState().NoteEditing)
        RequestFullDownload();
}

void SyncController::OnDownloadFinished(const SyncEngine::TDownloadOutcome& outcome) {
    FLastDownloadFailed = !outcome.Answered;
    emit UpdatingEnd();
    emit DownloadFinished(outcome);
    if (FStopped)
        return;
    // What the server lost goes back up at once.
    if (outcome.RowsMarked > 0)
        RequestUpload(QString(), TUploadFields{}, true);
    if (std::exchange(FDownloadAgain, false))
        RequestFullDownload();
}

void SyncController::OnChannelOpened(bool again) {
    // Notices sent while the channel was down never arrived, and a start-up
    // download that found no server missed everything: catch up at once.
    if (again || FLastDownloadFailed)
        RequestFullDownload();
}

void SyncController::SignedIn() {
    RequestFullDownload();
    // The channel connects where this account's server says, once it has said.
    StartBasicInfo(true);
}

void SyncController::SigningOut() {
    const TServiceCredentials leaving = TServiceCredentials::From(AppState().NoteOptions);
    if (!FStopped && leaving.SignedIn())
        FWorkers->StartLeavingUpload(leaving);
}

void SyncController::SignedOut() {
    // No word to the server: the account is gone from this computer, and with
    // an empty user name the keep-alive timer connects no more.
    FPush->CloseClientSock();
}
