#include "app/uFmMain.h"

#include "account/gui/uFmLogin.h"
#include "account/gui/uFmLogout.h"
#include "account/gui/uFmQrcodeDl.h"
#include "account/gui/uFmRegister.h"
#include "account/gui/uFmUserInfo.h"
#include "app/uImportNotes.h"
#include "app/uMissedReminderWatch.h"
#include "app/uScreenWatch.h"
#include "data/uAppState.h"
#include "data/uColors.h"
#include "data/uFileVersion.h"
#include "data/uNoteRepository.h"
#include "data/uNoteStore.h"
#include "data/uStoreBackup.h"
#include "data/uSyncStore.h"
#include "extras/gui/uFmFeedback.h"
#include "extras/uZuvoAds.h"
#include "lang/uInterfaceLanguage.h"
#include "lang/uLanguageObject.h"
#include "net/uEndpoints.h"
#include "note/uFmNote.h"
#include "note/uNoteContext.h"
#include "note/uNoteDeletion.h"
#include "note/uNoteDocking.h"
#include "note/uNoteManager.h"
#include "note/uNoteReminder.h"
#include "note/uNoteShell.h"
#include "note/uSharedAudio.h"
#include "platform/gui/uAppIcon.h"
#include "platform/gui/uAudioPlayer.h"
#include "platform/gui/uDesktop.h"
#include "platform/gui/uMenuIcons.h"
#include "platform/gui/uWindows.h"
#include "platform/uAnsi.h"
#include "platform/uPrivateFiles.h"
#include "platform/uSpecialFolders.h"
#include "platform/uTicks.h"
#include "reminders/gui/uFmAlertWindow.h"
#include "shared/uIniFile.h"
#include "shared/uUrlEncoding.h"
#include "sync/uOtherTask.h"
#include "sync/uPushChannel.h"
#include "sync/uShutdownUpload.h"
#include "sync/uSyncController.h"
#include "sync/uSyncWorkers.h"
#include "sync/uUploadTable.h"
#include "ui/uFmAbout.h"
#include "ui/uFmOptions.h"
#include "ui/uFmUpdateHistory.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLibraryInfo>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTranslator>
#include <QUrl>
#include <QUuid>

namespace {

TFmMain* gFmMain = nullptr;

constexpr int kTrayHostWaitMs = 10000;
const QString kNoTrayToldKey = QStringLiteral("NoTrayNoticeShown");

// Once the notes are saved for the exit, input still queued (a paste typed just
// before a termination signal, say) would change a note only to be lost.
class TExitInputFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        switch (e->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::InputMethod:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::Drop:
            return true;
        default:
            return false;
        }
    }
};

QString withSeparator(QString path) {
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

} // namespace

TFmMain* FmMain() {
    return gFmMain;
}

TFmMainEnv TFmMainEnv::Default() {
    TFmMainEnv env;
    env.TrayHostPresent = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    env.ProgramFolder = withSeparator(QCoreApplication::applicationDirPath());
    env.AppDataRoot = GetSpecialFolder(CSIDL_APPDATA);
    return env;
}

TFmMain::TFmMain(TFmMainEnv env, QWidget* parent) : QWidget(parent), FEnv(std::move(env)) {
    gFmMain = this;
    setWindowTitle(QStringLiteral("Zuvo Note Main"));

    actClose = new QAction(this);
    actNewNote = new QAction(this);
    actLogin = new QAction(this);
    actRegister = new QAction(this);
    actLogout = new QAction(this);
    actFeedBack = new QAction(this);
    actAbout = new QAction(this);
    actOptions = new QAction(this);
    actShowNotesOnDesk = new QAction(this);
    actShowNotesOnDesk->setCheckable(true);
    actImportNotes = new QAction(this);
    actImportNotes->setObjectName(QStringLiteral("actImportNotes"));
    connect(actImportNotes, &QAction::triggered, this, [this] { actImportNotesExecute(*this); });
    connect(actClose, &QAction::triggered, this, &QWidget::close);
    connect(actNewNote, &QAction::triggered, this, [this] {
        if (TFmNote* n = CreateNewNote(QString()))
            n->TakeTyping();
    });
    connect(actShowNotesOnDesk, &QAction::triggered, this, [this] { actShowNotesOnDeskExecute(); });
    for (auto [a, name] : {std::pair{actLogin, "actLogin"}, std::pair{actRegister, "actRegister"},
                           std::pair{actLogout, "actLogout"}, std::pair{actOptions, "actOptions"},
                           std::pair{actAbout, "actAbout"}, std::pair{actFeedBack, "actFeedBack"}}) {
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this,
                [this, name] { emit CommandRequested(QLatin1String(name), nullptr); });
    }
    BuildTrayMenu();
    connect(this, &TFmMain::CommandRequested, this, &TFmMain::RunCommand);

    tmrLoadNotes = new QTimer(this);
    tmrLoadNotes->setSingleShot(true);
    tmrLoadNotes->setInterval(100);
    connect(tmrLoadNotes, &QTimer::timeout, this, &TFmMain::tmrLoadNotesTimer);
    tmrAppUpdate = new QTimer(this);
    tmrAppUpdate->setSingleShot(true);
    tmrAppUpdate->setInterval(5000);
    connect(tmrAppUpdate, &QTimer::timeout, this, &TFmMain::tmrAppUpdateTimer);

    FFPlayer1 = new TAudioPlayer(this);
    connect(FFPlayer1, &TAudioPlayer::FileOpened, this, &TFmMain::FFPlayer1FileOpen);
    connect(FFPlayer1, &TAudioPlayer::PositionChanged, this, &TFmMain::FFPlayer1Position);
    connect(FFPlayer1, &TAudioPlayer::StateChanged, this, &TFmMain::FFPlayer1State);
    FNoteContext = BuildNoteContext();
    FWindows = new TNoteManager(FNoteContext, this);
    connect(FWindows, &TNoteManager::CommandRequested, this, &TFmMain::CommandRequested);
}

namespace {

// A main-window service as a note window may call it: once the window is gone it does nothing.
template <typename... A> auto guarded(QPointer<TFmMain> self, void (TFmMain::*service)(A...)) {
    return [self, service](A... a) {
        if (self)
            (self.data()->*service)(a...);
    };
}

} // namespace

std::shared_ptr<TNoteContext> TFmMain::BuildNoteContext() {
    auto context = std::make_shared<TNoteContext>();
    QPointer<TFmMain> self(this);
    context->Notes = [self]() -> NoteRepository* { return self ? self->FNotes.get() : nullptr; };
    context->Language = [self]() -> const TLanguageObject* { return self ? self->Language() : nullptr; };
    context->TitleColors = [self]() -> const QList<qint32>* {
        return self ? &self->FNoteTitleColors : nullptr;
    };
    context->BodyColors = [self]() -> const QList<qint32>* {
        return self ? &self->FNoteBodyColors : nullptr;
    };
    context->DataFolder = [self] { return self ? self->DataFolder() : QString(); };
    context->ProgramFolder = [self] { return self ? self->ProgramFolder() : QString(); };
    context->SharedPlayer = [self]() -> TAudioPlayer* { return self ? self->FFPlayer1 : nullptr; };
    context->Windows = [self]() -> TNoteManager* { return self ? self->FWindows : nullptr; };
    context->NewNotePos = [self](int w, int h) { return self ? self->GetNewNotesPos(w, h) : QPoint(); };
    context->TryDock = [self](TFmNote* n) { return self && self->TryDockNote(n); };
    context->AdoptNote = guarded(self, &TFmMain::AdoptNote);
    context->RefreshNote = guarded(self, &TFmMain::StartSingleNoteRefresh);
    context->DockedMoved = guarded(self, &TFmMain::DockedNoteMoved);
    context->CheckExists = guarded(self, &TFmMain::CheckNoteExists);
    context->ApplyReminder = guarded(self, &TFmMain::ApplyReminder);
    context->Tick = guarded(self, &TFmMain::NoteTick);
    context->DeleteOnServer = guarded(self, &TFmMain::DeleteNoteOnServer);
    context->DownloadAll = guarded(self, &TFmMain::GetNotesFromSrv);
    context->Quit = [self] {
        if (self)
            self->close();
    };
    context->FollowPlayback = [self](QProgressBar* bar, QLabel* image, QLabel* label,
                                     QAbstractButton* button) {
        if (!self)
            return;
        // No note-window reset reaches the alarm window's button: it is put back here.
        if (self->AudioBtnCtrl && self->AudioBtnCtrl != button)
            self->AudioBtnCtrl->setText(LanguageOrEmpty(self->Language()).FmNoteaudioPlayCaption());
        self->AudioProgressBar = bar;
        self->AudioImgCtrl = image;
        self->AudioLblCtrl = label;
        self->AudioBtnCtrl = button;
    };
    context->ShowNoteAgain = [self](const NoteRecord& row) {
        if (!self)
            return;
        auto* n = new TFmNote(self->FNoteContext);
        self->ApplyNoteRecord(n, row, false);
        n->ShowAd = true;
        self->AdoptNote(n);
        n->show();
    };
    context->TrayMissing = [self] { return self && self->TrayMissing(); };
    context->NotesShownChanged = [self](bool shown) {
        // The tray's own check mark must not tell another story.
        if (self)
            self->actShowNotesOnDesk->setChecked(shown);
    };
    return context;
}

TFmMain::~TFmMain() {
    // Runs still going may call back into this window; they end while it is whole.
    if (FSyncCtl)
        FSyncCtl->StopRuns();
    if (gFmMain == this)
        gFmMain = nullptr;
    if (FQtTranslator)
        QCoreApplication::removeTranslator(FQtTranslator.get());
    InterfaceLanguage::ResetCurrent();
    QLocale::setDefault(QLocale::system());
    AppState().InterfaceLanguage.clear();
    // Windows still holding the context find it empty from here on.
    *FNoteContext = TNoteContext{};
}

bool TFmMain::Startup(QString* error) {
    // 1. The program folder.
    FProgramFolder = withSeparator(FEnv.ProgramFolder);

    // 2. The push channel starts unconnected, aimed at the default server (the
    //    sync controller, made once the data folder is known).

    // 3. The tray icon and its hint. (4: the hand cursor is the platform's own.)
    // Without a tray host yet, the icon appears when one starts.
    if (FEnv.ShowTray) {
        TrayIcon1 = new QSystemTrayIcon(AppIcon(), this);
        TrayIcon1->setToolTip(QStringLiteral("Zuvo便签"));
        TrayIcon1->setContextMenu(pmTray);
        // A left click opens the same menu as the right one.
        connect(TrayIcon1, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
            if (r == QSystemTrayIcon::Trigger) {
                QCoreApplication::processEvents();
                pmTrayPopup();
                pmTray->popup(QCursor::pos());
            }
        });
        TrayIcon1->show();
    }

    // 5.-6. The data folder, with the templates on first start.
    PrepareDataFolder();

    // 7. The note colour tables.
    FNoteTitleColors.clear();
    FNoteBodyColors.clear();
    for (int i = 0; i < 7; ++i) {
        FNoteTitleColors.append(HexToColor(QString::fromLatin1(NotePaletteText(i))));
        FNoteBodyColors.append(HexToColor(QString::fromLatin1(NotePaletteText(i))));
    }

    // 8.-9. The store and its schema upgrade.
    if (!OpenStore(error))
        return false;

    // Daily copies of the store, made off this thread.
    FBackups = new TStoreBackupScheduler(FDb->path(), StoreBackup::BackupFolder(FDataFolder), this);
    FBackups->Start();
    // Once the notes are on screen: none left where no screen shows it, and the
    // reminders missed since the last run listed.
    FScreenWatch = new TScreenWatch(*FNotes, *FWindows, this);
    FMissedWatch =
        new TMissedReminderWatch(FDataFolder + QStringLiteral("config.ini"), FNoteContext, *FWindows, this);
    connect(
        tmrLoadNotes, &QTimer::timeout, this,
        [this] {
            FScreenWatch->FitAll();
            FMissedWatch->CheckSinceLastRun();
        },
        Qt::QueuedConnection);

    // 10.-11. The settings.
    AppState().LoadSettings(FDataFolder + QStringLiteral("config.ini"));
    TNoteOptions& options = AppState().NoteOptions;
    actShowNotesOnDesk->setChecked(options.FGeneralShowNotesOnDesk);
    {
        const TIniFile ini(FDataFolder + QStringLiteral("config.ini"));
        // A first start speaks the desktop's language; from then on the stored one counts.
        if (ini.ReadString(QStringLiteral("config"), QStringLiteral("Language"), QString()).isEmpty())
            options.FconfigLanguage = InterfaceLanguage::ForLocale(FEnv.DesktopLocale);
        SetServerRoot(
            ini.ReadString(QStringLiteral("config"), QStringLiteral("Server"), FEnv.DefaultServerRoot));
        SetServerCAFile(ini.ReadString(QStringLiteral("config"), QStringLiteral("ServerCA"), QString()));
    }
    StartSyncWorkers();
    // Whose notes are shown: the signed-in account's (those made while nobody
    // was signed in join it), or the last one's.
    (void)ApplyAccount();

    // 12. The signed-in user's number for the push channel.
    bool ok = false;
    const qint32 uid = options.FconfigUserID.toInt(&ok);
    AppState().PushUserId = ok ? uid : 0;

    // 13. This installation's identity, made once and saved before any worker starts.
    if (options.FconfigPcID.isEmpty()) {
        {
            std::lock_guard l(AppState().AccountLock);
            options.FconfigPcID = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        }
        (void)options.SaveToFile(FDataFolder + QStringLiteral("config.ini"));
    }

    // 14. The basic-information task (it opens the push channel when done).
    FSyncCtl->Start(!options.FconfigUserID.isEmpty());

    // 15.
    AppState().RunningUploadCount = 0;

    // 16. The language table; a missing file leaves every text empty.
    FLanguage = std::make_unique<TLanguageObject>();
    AppState().InterfaceLanguage = options.FconfigLanguage;
    const QString lng = TLanguageObject::LanguageFilePath(FProgramFolder, options.FconfigLanguage);
    if (QFileInfo::exists(lng))
        FLanguage->LoadFromFile(lng);
    UseInterfaceLanguage(options.FconfigLanguage);

    // 17. The advertisement worker.
    StartAdWorker();

    // 18. The periodic upload's interval is the controller's own.

    // 19.
    SendMessageW(this, WM_UPDATELANGUAGE, 0, 0);

    // 20. Decoders are linked in; a LibAV folder is only remembered.
    const QString libav = FProgramFolder + QStringLiteral("LibAV");
    FLibAVFolder = QFileInfo(libav).isDir() ? libav : QString();

    tmrLoadNotes->start();
    tmrAppUpdate->start();
    // A panel started with the session may come up after this program: give it time.
    QTimer::singleShot(kTrayHostWaitMs, this, &TFmMain::TellTrayMissing);
    FStarted = true;
    return true;
}

void TFmMain::PrepareDataFolder() {
    const QString appData = withSeparator(FEnv.AppDataRoot) + QStringLiteral("Zuvo/Note/");
    // Closed to other users: it holds the password digest and every note.
    (void)PrivateFiles::MakeFolder(appData); // failure is not reported: the store open says what is wrong
    if (FEnv.PlatformMajorVersion < 6) {
        FDataFolder = FProgramFolder;
        return;
    }
    FDataFolder = appData;
    const QString db = FDataFolder + QStringLiteral("brisel.mdb");
    if (!QFileInfo::exists(db))
        QFile::copy(FProgramFolder + QStringLiteral("brisel.mdb"), db);
    const QString ini = FDataFolder + QStringLiteral("config.ini");
    if (!QFileInfo::exists(ini)) {
        const QString templ = FProgramFolder + QStringLiteral("config.ini");
        // Copied, never moved: the program folder is the installer's (or the portable
        // copy's owner's), and every user of it starts from the same template.
        if (QFile::copy(templ, ini))
            QFile::setPermissions(ini, QFile::permissions(ini) | QFileDevice::WriteOwner);
    }
    // Copies of the templates, and what an older run left readable by everyone.
    for (const char* name : {"config.ini", "brisel.mdb", "brisel.mdb-wal", "brisel.mdb-shm"})
        PrivateFiles::Close(FDataFolder + QLatin1String(name));
}

bool TFmMain::OpenStore(QString* error) {
    const QString path = FDataFolder + QStringLiteral("brisel.mdb");
    try {
        if (!QFileInfo::exists(path)) {
            // Neither folder had a database: make one from the template's schema.
            NoteStore::CreateFromSchema(path);
            PrivateFiles::Close(path);
        } else if (!(QFile::permissions(path) & QFileDevice::WriteOwner)) {
            // A template copied from a read-only program folder keeps its mode.
            QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner);
        }
        FDb = NoteStore::Open(path);
        UpgradeSchema(*FDb);
        FNotes = std::make_unique<NoteRepository>(*FDb);
        connect(FNotes.get(), &NoteRepository::changed, this, &TFmMain::NoteRowChanged);
        connect(FNotes.get(), &NoteRepository::failed, this, &TFmMain::NoteWriteFailed);
        return true;
    } catch (const TSqlError& e) {
        FNotes.reset();
        FDb.reset();
        if (error)
            *error = StoreBackup::DamagedStoreMessage(
                StartupLanguage(), path, e.text(),
                StoreBackup::NewestBackup(StoreBackup::BackupFolder(FDataFolder)));
        return false;
    }
}

void TFmMain::UseInterfaceLanguage(const QString& language) {
    // Qt's own buttons and dialogs speak it too, and dates follow it.
    const QLocale locale = InterfaceLanguage::LocaleFor(language, FEnv.DesktopLocale);
    InterfaceLanguage::SetCurrent(locale);
    QLocale::setDefault(locale);
    const QString qtName = InterfaceLanguage::QtTranslationName(language);
    if (qtName.isEmpty())
        return;
    auto translator = std::make_unique<QTranslator>();
    if (translator->load(qtName, QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
        QCoreApplication::installTranslator(translator.get()))
        FQtTranslator = std::move(translator);
}

TLanguageObject TFmMain::StartupLanguage() const {
    // The settings are not read yet: take the language straight from the file.
    QString language = TIniFile(FDataFolder + QStringLiteral("config.ini"))
                           .ReadString(QStringLiteral("config"), QStringLiteral("Language"), QString());
    if (language.isEmpty())
        language = InterfaceLanguage::ForLocale(FEnv.DesktopLocale);
    TLanguageObject lang;
    if (!lang.LoadFromFile(TLanguageObject::LanguageFilePath(FProgramFolder, language))) {
        const TIniFile none;
        lang.LoadSettings(&none);
    }
    return lang;
}

bool TFmMain::event(QEvent* e) {
    switch (static_cast<int>(e->type())) {
    case WM_UPDATELANGUAGE:
        WMUpdateLanguage(static_cast<TWinMessage&>(*e));
        return true;
    case WM_LOGINFAILED:
        WMLoaginFailed(static_cast<TWinMessage&>(*e));
        return true;
    default:
        return QWidget::event(e);
    }
}

void TFmMain::WMUpdateLanguage(TWinMessage&) {
    if (!FLanguage)
        return;
    const TLanguageObject& l = *FLanguage;
    actClose->setText(l.FmMainactClose_Caption());
    actNewNote->setText(l.FmMainactNewNote_Caption());
    actLogin->setText(l.FmMainactLogin_Caption());
    actRegister->setText(l.FmMainactRegister_Caption());
    actLogout->setText(l.FmMainactLogout_Caption());
    actFeedBack->setText(l.FmMainactFeedback_Caption());
    actAbout->setText(l.FmMainactAbout_Caption());
    actOptions->setText(l.FmMainactOptions_Caption());
    actShowNotesOnDesk->setText(l.FmMainactShowNotesOnDesk_Caption());
    actImportNotes->setText(l.FmImportactImportNotes_Caption());
}

void TFmMain::WMLoaginFailed(TWinMessage&) {
    // On the way out nobody is there to sign in: what was refused stays pending.
    if (FShuttingDown)
        return;
    // The worker that sent this waits until the dialog is closed.
    RunCommand(QStringLiteral("actLogin"), nullptr);
}

void TFmMain::tmrAppUpdateTimer() {
    tmrAppUpdate->stop();
    const QString updater = FProgramFolder + QStringLiteral("update");
    const QFileInfo fi(updater);
    if (!fi.isFile() || !fi.isExecutable())
        return;
    // The quote characters are part of the argument; the result is not examined.
    (void)QProcess::startDetached(updater, {QStringLiteral("\"Zuvo Note\"")}, FProgramFolder);
}

void TFmMain::StartSyncWorkers() {
    SyncController::THooks hooks;
    // Each runs here while a worker waits for it.
    hooks.LoginFailed = [this] { RunCommand(QStringLiteral("actLogin"), nullptr); };
    hooks.NewNote = [this](const TNoteItem& n) { (void)AddDownloadedNote(n); };
    FSyncCtl = new SyncController(FDataFolder + QStringLiteral("brisel.mdb"),
                                  FDataFolder + QStringLiteral("audio/"), std::move(hooks), this);
    connect(FSyncCtl, &SyncController::UpdatingBegin, this,
            [this] { FWindows->Broadcast(WM_UPDATINGBEGIN); });
    connect(FSyncCtl, &SyncController::UpdatingEnd, this, [this] { FWindows->Broadcast(WM_UPDATINGEND); });
    connect(FSyncCtl, &SyncController::NoteRemoved, this,
            [this] { FWindows->Broadcast(WM_CHECKNOTEEXISTS); });
    connect(FSyncCtl, &SyncController::NotesChanged, this, [this] { FWindows->Broadcast(WM_RELOADNOTE); });
    connect(FSyncCtl, &SyncController::UploadFinished, this,
            [this](const QString& id, int uploadCount, bool notify) {
                if (uploadCount > 0 && !id.isEmpty())
                    if (TFmNote* n = FWindows->Find(id))
                        n->ClearSyncRefused();
                emit UploadFinished(id, uploadCount, notify);
            });
    connect(FSyncCtl, &SyncController::RowTooLarge, this, [this](const QString& id) {
        if (TFmNote* n = FWindows->Find(id))
            n->ShowSyncRefused();
    });
    connect(this, &TFmMain::UploadRequested, FSyncCtl,
            [this](const QString& id, quint16 fields, bool notify) {
                FSyncCtl->RequestUpload(id, TUploadFields::fromBits(fields), notify);
            });
    connect(this, &TFmMain::DeleteRequested, FSyncCtl, [this](const QString& id) {
        if (FNotes && FNotes->QueueServerDeletion(id))
            FSyncCtl->RequestDelete(id);
    });
}

void TFmMain::StartAdWorker() {
    TFmAlertWindow::AdListProvider = [] { return AdList(); };
    ::StartAdWorker(this,
                    AdRequest(GetSystemDefaultLangID(), UrlEncode(QByteArrayLiteral("Zuvo Note")),
                              UrlEncode((QStringLiteral("v") + GetAppVersion()).toUtf8())),
                    [this] { OnAdUpdateFinish(); });
}

void TFmMain::OnAdUpdateFinish() {
    FWindows->Broadcast(WM_UPDATEAD);
}

void TFmMain::closeEvent(QCloseEvent* e) {
    e->accept();
    Shutdown();
}

void TFmMain::Shutdown() {
    if (FShuttingDown)
        return;
    FShuttingDown = true;
    qApp->installEventFilter(new TExitInputFilter(this));
    tmrLoadNotes->stop();
    tmrAppUpdate->stop();

    if (FStarted) {
        TNoteOptions& options = AppState().NoteOptions;
        // 1. The settings (written beside the file and renamed: never half-written).
        (void)options.SaveToFile(FDataFolder + QStringLiteral("config.ini"));
        FMissedWatch->RecordNow();

        // 2. Every note hides and saves its look and place, in one transaction: one
        //    disk flush for all notes instead of one each.
        FWindows->HideAndSaveAll();

        // 3. Running uploads finish first; their completion handlers need the loop.
        //    Their pauses between attempts end now: what they could not send is
        //    still pending and goes with the last upload below.
        if (FSyncCtl)
            FSyncCtl->StopRuns();
        while (AppState().RunningUploadCount.load() > 0 && !FExitDeadline.hasExpired()) {
            QThread::msleep(10);
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }

        // 4. The last upload of pending notes.
        if (FNotes) {
            TShutdownUploadOptions how;
            how.ApiBase = FEnv.ApiBase.isEmpty() ? NotesApiBase() : FEnv.ApiBase;
            how.TimeoutMs = FExitDeadline.isForever()
                                ? FEnv.ShutdownUploadTimeoutMs
                                : int(qBound<qint64>(0, FExitDeadline.remainingTime(),
                                                     qint64(FEnv.ShutdownUploadTimeoutMs)));
            how.MaxUploadBytes = FSyncCtl ? FSyncCtl->MaxUploadBytes() : 0;
            (void)ShutdownUpload(*FNotes, options, how);
        }

        // 5.-6.
        FLanguage.reset();
        if (FSyncCtl)
            FSyncCtl->CloseChannel();
    }
    if (FBackups)
        FBackups->Wait();
    FNotes.reset();
    FDb.reset();
    emit ShutdownFinished();
    QCoreApplication::quit();
}

// ---- tray -----------------------------------------------------------------------

void TFmMain::BuildTrayMenu() {
    pmTray = new QMenu(this);
    pmTray->setObjectName(QStringLiteral("pmTray"));
    pmTray->addAction(actNewNote);
    pmTray->addAction(actImportNotes);
    pmTray->addSeparator();
    pmTray->addAction(actLogin);
    pmTray->addAction(actRegister);
    pmTray->addAction(actLogout);
    pmTray->addSeparator();
    pmTray->addAction(actShowNotesOnDesk);
    pmTray->addAction(actOptions);
    pmTray->addSeparator();
    pmTray->addAction(actAbout);
    pmTray->addAction(actFeedBack);
    pmTray->addAction(actClose);
    SetMenuIcons({{actNewNote, TMenuIcon::Add},
                  {actAbout, TMenuIcon::About},
                  {actFeedBack, TMenuIcon::Feedback},
                  {actClose, TMenuIcon::Exit}});
    connect(pmTray, &QMenu::aboutToShow, this, &TFmMain::pmTrayPopup);
}

void TFmMain::pmTrayPopup() {
    const TNoteOptions& o = AppState().NoteOptions;
    const bool in = !o.FconfigUserID.isEmpty();
    actLogin->setVisible(!in);
    actRegister->setVisible(!in);
    actLogout->setVisible(in);
    actShowNotesOnDesk->setChecked(o.FGeneralShowNotesOnDesk);
}

bool TFmMain::TrayMissing() const {
    return FEnv.TrayHostPresent && !FEnv.TrayHostPresent();
}

void TFmMain::TellTrayMissing() {
    if (FShuttingDown || !TrayMissing())
        return;
    const QString config = FDataFolder + QStringLiteral("config.ini");
    TIniFile ini(config);
    if (ini.ReadString(QStringLiteral("General"), kNoTrayToldKey, QString()) == QLatin1String("1"))
        return;
    ini.WriteString(QStringLiteral("General"), kNoTrayToldKey, QStringLiteral("1"));
    (void)ini.UpdateFile();
    const TLanguageObject& l = LanguageOrEmpty(FLanguage.get());
    // Nothing waits for it: the notes go on taking clicks and typing meanwhile.
    ShowNotice(l.FmMainhint_NoTray(), l.Otherstitle_dlginformation());
}

void TFmMain::actShowNotesOnDeskExecute() {
    // The action has already toggled its own check mark; the setting follows it.
    TNoteOptions& o = AppState().NoteOptions;
    const bool show = !o.FGeneralShowNotesOnDesk;
    o.FGeneralShowNotesOnDesk = show;
    actShowNotesOnDesk->setChecked(show);
    FWindows->Broadcast(show ? WM_SHOWNOTE : WM_HIDENOTE);
    (void)o.SaveToFile(FDataFolder + QStringLiteral("config.ini"));
}

// ---- loading and placement ---------------------------------------------------------

QList<TFmNote*> TFmMain::NoteWindows() {
    return gFmMain ? gFmMain->FWindows->Windows() : QList<TFmNote*>{};
}

void TFmMain::AdoptNote(TFmNote* note) {
    FWindows->Register(note);
    FWindows->Adopt(note);
}

void TFmMain::ApplyNoteRecord(TFmNote* note, const NoteRecord& record, bool withDocking) {
    FWindows->ApplyRecord(note, record, withDocking);
}

void TFmMain::FFPlayer1FileOpen(qint64 duration) {
    if (AudioProgressBar)
        AudioProgressBar->setMaximum(static_cast<qint32>(duration));
}

void TFmMain::FFPlayer1Position(qint64 position) {
    if (AudioProgressBar && FFPlayer1->State() != TAudioPlayer::psEnded)
        AudioProgressBar->setValue(static_cast<qint32>(position));
}

void TFmMain::FFPlayer1State(int state) {
    if (state != TAudioPlayer::psEnded)
        return;
    if (AudioImgCtrl)
        AudioImgCtrl->setPixmap(AudioPlayPicture());
    const QString play = LanguageOrEmpty(FLanguage.get()).FmNoteaudioPlayCaption();
    if (AudioLblCtrl)
        AudioLblCtrl->setText(play);
    if (AudioBtnCtrl)
        AudioBtnCtrl->setText(play);
}

void TFmMain::tmrLoadNotesTimer() {
    tmrLoadNotes->stop();
    const QList<NoteRecord> rows = FNotes->LoadShown().value_or(QList<NoteRecord>{});
    const int count = FWindows->CreateAll(rows, AppState().NoteOptions.FGeneralShowNotesOnDesk);
    GetNotesFromSrv();
    if (count == 0)
        CreateNewNote(FLanguage ? FLanguage->FmNoteblankNoteHint() : QString());
}

TFmNote* TFmMain::CreateNewNote(const QString& InitText) {
    return FWindows->CreateNew(InitText);
}

TFmNote* TFmMain::AddDownloadedNote(const TNoteItem& nItem) {
    return FWindows->CreateDownloaded(nItem);
}

QRect TFmMain::UndockedGeometry(const QRect& stored) const {
    return FWindows->UndockedGeometry(stored);
}

QPoint TFmMain::GetNewNotesPos(int newWidth, int newHeight) const {
    return FWindows->NewNotePos(newWidth, newHeight);
}

void TFmMain::EndSession() {
    FWindows->SaveAll();
}

// ---- what the notes ask of the shell --------------------------------------------------

void TFmMain::StartUploadWorker(const TNoteItem& item, TUploadFields fields, bool notify) {
    emit UploadRequested(item.NoteID, fields.bits(), notify);
}

void TFmMain::NoteRowChanged(const QString& id, TUploadFields fields) {
    const TUploadRule rule = UploadRuleFor(fields);
    if (!rule.Upload)
        return;
    TNoteItem item;
    if (const std::optional<NoteRecord> row = FNotes->Find(id))
        item = row->Note;
    item.NoteID = id;
    StartUploadWorker(item, fields, rule.Notify);
}

void TFmMain::NoteWriteFailed(const QString& id, const QString& message) {
    // At exit nobody is left to read a box; the notes keep what the store last took.
    if (FShuttingDown)
        return;
    QWidget* owner = FWindows->Find(id);
    ShowStoreError(owner ? owner : QApplication::activeWindow(), LanguageOrEmpty(FLanguage.get()), message);
}

void TFmMain::StartSingleNoteRefresh(TFmNote* note) {
    QPointer<TFmNote> guard(note);
    const auto done = [guard] {
        if (guard)
            guard->OnGetOneNoteTerminate();
    };
    if (!FSyncCtl || FShuttingDown) {
        QTimer::singleShot(0, this, done);
        return;
    }
    FSyncCtl->RefreshNote(note->NoteId(), done);
}

TSyncWorkers* TFmMain::SyncWorkers() const {
    return FSyncCtl ? FSyncCtl->Workers() : nullptr;
}

TPushChannel* TFmMain::PushChannel() const {
    return FSyncCtl ? FSyncCtl->Push() : nullptr;
}

void TFmMain::GetNotesFromSrv() {
    if (FSyncCtl && !FShuttingDown)
        FSyncCtl->RequestFullDownload();
}

bool TFmMain::TryDockNote(TFmNote* note) {
    return note->Docking().DockAtEdge();
}

void TFmMain::DockedNoteMoved(TFmNote* note) {
    note->Docking().DragEnded();
}

void TFmMain::CheckNoteExists(TFmNote* note) {
    TNoteDeletion::CheckExists(note);
}

void TFmMain::DeleteNoteOnServer(const QString& noteId) {
    emit DeleteRequested(noteId);
}

void TFmMain::ApplyReminder(TFmNote* note, int type, const QString& v1, const QString& v2,
                            const QString& v3) {
    ApplyNoteReminder(note, type, v1, v2, v3);
}

void TFmMain::NoteTick(TFmNote* note) {
    CheckNoteReminder(note);
}

TServiceEnv TFmMain::ServiceEnv() {
    TServiceEnv env;
    env.Language = &LanguageOrEmpty(FLanguage.get());
    env.Options = &AppState().NoteOptions;
    env.AccountLock = &AppState().AccountLock;
    if (!FDataFolder.isEmpty())
        env.ConfigFile = FDataFolder + QStringLiteral("config.ini");
    env.PushUserId = &AppState().PushUserId;
    env.OpenUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
    QPointer<TFmMain> self(this);
    env.SignedIn = [self] {
        if (self)
            self->SignedIn();
    };
    env.SignedOut = [self] {
        if (self)
            self->SignedOut();
    };
    env.SigningOut = [self] {
        if (self)
            self->SigningOut();
    };
    env.ShowDownloadPage = [self] {
        if (self)
            self->ShowDownloadPage();
    };
    return env;
}

bool TFmMain::ApplyAccount() {
    const QString signedIn = AppState().NoteOptions.FconfigUserID;
    QString desk;
    bool changed = false;
    try {
        const QString before = SyncStore::DeskAccount(*FDb);
        desk = signedIn.isEmpty() ? before : signedIn;
        changed = desk != before;
        if (!signedIn.isEmpty()) {
            (void)FNotes->JoinAccount(signedIn);
            if (changed)
                SyncStore::SetDeskAccount(*FDb, signedIn);
        }
    } catch (const TSqlError&) {
        // A store that cannot say shows what it showed before.
        desk = FNotes->DeskAccount();
    }
    FNotes->SetAccount(signedIn, desk);
    return changed;
}

void TFmMain::SignedIn() {
    // Another account's notes leave the desktop (kept in the store, pending
    // changes and all), and this account's come.
    if (ApplyAccount()) {
        const QString desk = FNotes->DeskAccount();
        for (TFmNote* n : FWindows->Windows()) {
            const std::optional<NoteRecord> row = FNotes->Find(n->NoteId());
            if (FWindows->Find(n->NoteId()) == n && row && !row->Account.isEmpty() && row->Account != desk)
                FWindows->Dismiss(n);
        }
        for (const NoteRecord& row : FNotes->LoadShown().value_or(QList<NoteRecord>{}))
            if (!FWindows->Find(row.id()))
                if (TFmNote* n = FWindows->Create(row))
                    if (AppState().NoteOptions.FGeneralShowNotesOnDesk)
                        n->show();
    }
    if (FSyncCtl)
        FSyncCtl->SignedIn();
    ShowDownloadPage();
}

void TFmMain::SigningOut() {
    if (FSyncCtl)
        FSyncCtl->SigningOut();
}

void TFmMain::SignedOut() {
    // The desktop keeps this account's notes; new ones belong to nobody.
    (void)ApplyAccount();
    if (FSyncCtl)
        FSyncCtl->SignedOut();
}

void TFmMain::ShowDownloadPage() {
    // Each sign-in makes a new page; the one before goes.
    if (FQrcodeDl)
        FQrcodeDl->deleteLater();
    auto* page = new TFmQrcodeDl(ServiceEnv(), this);
    FQrcodeDl = page;
    // A server with nothing to offer for phones shows no window at all.
    page->ShowWhenPageHasContent();
}

void TFmMain::RunCommand(const QString& action, TFmNote* note) {
    QWidget* owner = note ? static_cast<QWidget*>(note) : this;
    if (action == QLatin1String("actSetupAlert") && note)
        SetupNoteReminder(note);
    else if (action == QLatin1String("actLogin"))
        TFmLogin::Execute(ServiceEnv(), owner);
    else if (action == QLatin1String("actRegister"))
        TFmRegister::Execute(ServiceEnv(), owner);
    else if (action == QLatin1String("actLogout"))
        TFmLogout::Execute(ServiceEnv(), owner);
    else if (action == QLatin1String("actMyAccount"))
        (new TFmUserInfo(ServiceEnv(), owner))->show();
    else if (action == QLatin1String("actFeedBack"))
        TFmFeedback::Execute(ServiceEnv(), owner);
    else if (action == QLatin1String("actImportNotes"))
        actImportNotesExecute(*this);
    else if (action == QLatin1String("actAbout"))
        TFmAbout::Execute(ServiceEnv(), owner);
    else if (action == QLatin1String("actUpdateHistory") && note) {
        auto* history = new TFmUpdateHistory(ServiceEnv(), note);
        history->NoteID = note->NoteId();
        history->show();
    } else if (action == QLatin1String("actOptions"))
        TFmOptions::Execute(this, FNoteContext);
}
