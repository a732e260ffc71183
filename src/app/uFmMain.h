#pragma once
// The hidden main window: owns the process-wide state (folders, store connection,
// language table, colour tables, tray icon, timers) and routes the application's
// messages. It is never shown.

#include "account/uServiceEnv.h"
#include "platform/uMessages.h"

#include <QAction>
#include <QDeadlineTimer>
#include <QList>
#include <QLocale>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

class QAbstractButton;
class QLabel;
class QMenu;
class QProgressBar;
class QSystemTrayIcon;
class QTranslator;
class TAudioPlayer;
class TDbConnection;
class TFmNote;
struct TNoteContext;
class TLanguageObject;
class TNoteManager;
class TPushChannel;
class TMissedReminderWatch;
class TScreenWatch;
class TStoreBackupScheduler;
class NoteRepository;
struct NoteRecord;
class SyncController;
class TSyncWorkers;
struct TNoteItem;
struct TRowSet;
class TUploadFields;

struct TFmMainEnv {
    // Folder of the executable, ending with a separator.
    QString ProgramFolder;
    // The per-user application-data root (the folder "Zuvo/Note/" is made inside it).
    QString AppDataRoot;
    // Linux counts as 6 and above: per-user data folder, templates copied.
    int PlatformMajorVersion = 6;
    bool ShowTray = true;
    // Whether a tray host shows the icon now; unset: taken as shown.
    std::function<bool()> TrayHostPresent;
    // The desktop's locale, which a first start takes its language from.
    QLocale DesktopLocale = QLocale::system();
    // Where the shutdown upload goes; empty: NotesApiBase().
    QString ApiBase;
    // The server root when the settings name none; empty: the built-in default.
    // The environment variable ZUVONOTE_SERVER still wins over both.
    QString DefaultServerRoot;
    // Bound on the shutdown upload, so that exit never hangs on a dead network.
    int ShutdownUploadTimeoutMs = 15000;

    [[nodiscard]] static TFmMainEnv Default();
};

class TFmMain : public QWidget {
    Q_OBJECT
public:
    explicit TFmMain(TFmMainEnv env, QWidget* parent = nullptr);
    ~TFmMain() override;

    // The start-up sequence. False (with the reason) when the store cannot be
    // used; the caller reports it and ends the process.
    [[nodiscard]] bool Startup(QString* error);
    // The shutdown sequence; runs once, then ends the event loop.
    void Shutdown();
    // The shutdown that follows ends by then: what it cannot send in time (the
    // last upload, uploads still running) stays pending for the next start.
    void EndBy(QDeadlineTimer deadline) { FExitDeadline = deadline; }

    [[nodiscard]] const QString& ProgramFolder() const { return FProgramFolder; }
    [[nodiscard]] const QString& DataFolder() const { return FDataFolder; }
    [[nodiscard]] TDbConnection& Db() const { return *FDb; }
    // The notes as the windows read and change them (on the connection above).
    [[nodiscard]] NoteRepository& Notes() const { return *FNotes; }
    [[nodiscard]] TLanguageObject* Language() const { return FLanguage.get(); }
    [[nodiscard]] const QList<qint32>& NoteTitleColors() const { return FNoteTitleColors; }
    [[nodiscard]] const QList<qint32>& NoteBodyColors() const { return FNoteBodyColors; }
    [[nodiscard]] const QString& LibAVFolder() const { return FLibAVFolder; }
    [[nodiscard]] bool IsShuttingDown() const { return FShuttingDown; }
    [[nodiscard]] TScreenWatch* ScreenWatch() const { return FScreenWatch; }
    [[nodiscard]] TMissedReminderWatch* MissedReminderWatch() const { return FMissedWatch; }
    // What note windows are handed; its services fall silent once this window is gone.
    [[nodiscard]] std::shared_ptr<const TNoteContext> NoteContext() const { return FNoteContext; }
    // The note windows.
    [[nodiscard]] TNoteManager& Windows() const { return *FWindows; }

    // Loading and placement of note windows.
    void tmrLoadNotesTimer();
    TFmNote* CreateNewNote(const QString& InitText);
    TFmNote* AddDownloadedNote(const TNoteItem& nItem);
    [[nodiscard]] QPoint GetNewNotesPos(int newWidth, int newHeight) const;
    // Where an undocked note built from a stored place and size goes: at least as
    // large as a note can be, and placed as a new note when no size is stored.
    [[nodiscard]] QRect UndockedGeometry(const QRect& stored) const;
    // Every note window of the one main window, hidden ones included (none without it).
    [[nodiscard]] static QList<TFmNote*> NoteWindows();
    // Connects a note window made elsewhere (a note's own new-note command).
    void AdoptNote(TFmNote* note);
    // Gives a window what one stored row says; withDocking false brings it back
    // undocked at its stored place whatever the row says of an edge.
    void ApplyNoteRecord(TFmNote* note, const NoteRecord& record, bool withDocking = true);

    // What the account and service windows are handed.
    [[nodiscard]] TServiceEnv ServiceEnv();
    // A sign-in succeeded (the account is stored): the full download, the push
    // channel and the download page follow.
    void SignedIn();
    // The account was forgotten: the push channel closes without a logout packet.
    void SignedOut();
    // Sign-out was confirmed: the account's pending rows go up with its credentials.
    void SigningOut();
    // The download page for the mobile app, in a window of its own that closing hides.
    void ShowDownloadPage();
    // The advertisement lines arrived: every note window hears of it.
    void OnAdUpdateFinish();

    // The session ends (log-off, termination signal): every note saves, then the shutdown runs.
    void EndSession();

    // What note windows ask of the shell; the sync, docking and reminder parts answer.
    void StartUploadWorker(const TNoteItem& item, TUploadFields fields, bool notify);
    void StartSingleNoteRefresh(TFmNote* note);
    // Starts a full download of the notes; one asked for while one runs follows it.
    void GetNotesFromSrv();
    // Sync: workers, push channel and timers (null before the start-up made it).
    [[nodiscard]] SyncController* Sync() const { return FSyncCtl; }
    [[nodiscard]] TSyncWorkers* SyncWorkers() const;
    [[nodiscard]] bool TryDockNote(TFmNote* note);
    void DockedNoteMoved(TFmNote* note);
    void CheckNoteExists(TFmNote* note);
    // Starts the server's deletion of a note in the background; nobody waits for it.
    void DeleteNoteOnServer(const QString& noteId);
    void ApplyReminder(TFmNote* note, int type, const QString& v1, const QString& v2, const QString& v3);
    void NoteTick(TFmNote* note);

    QMenu* pmTray = nullptr;
    void pmTrayPopup();
    void actShowNotesOnDeskExecute();

    QAction* actClose;
    QAction* actNewNote;
    QAction* actLogin;
    QAction* actRegister;
    QAction* actLogout;
    QAction* actFeedBack;
    QAction* actAbout;
    QAction* actOptions;
    QAction* actShowNotesOnDesk;
    QAction* actImportNotes;

    QTimer* tmrLoadNotes;
    QTimer* tmrAppUpdate;
    QSystemTrayIcon* TrayIcon1 = nullptr;

    // The shared audio player and the controls of the window that last started
    // playback (those it has; see uSharedAudio). Guarded: a control that is
    // gone by the time the player reports is simply not touched.
    TAudioPlayer* FFPlayer1 = nullptr;
    QPointer<QProgressBar> AudioProgressBar;
    QPointer<QLabel> AudioImgCtrl;
    QPointer<QLabel> AudioLblCtrl;
    QPointer<QAbstractButton> AudioBtnCtrl;

    // No tray host shows the icon: the notes' menus carry the tray's commands.
    [[nodiscard]] bool TrayMissing() const;
    // Says once per installation, when no tray host has appeared a while after
    // the start, where the tray's commands are.
    void TellTrayMissing();

    // The push channel (sign-in connects it, sign-out closes it).
    [[nodiscard]] TPushChannel* PushChannel() const;

signals:
    void ShutdownFinished();
    // An upload of one note (or of all pending ones) was asked for.
    void UploadRequested(const QString& noteId, quint16 fields, bool notify);
    // The deletion of one note on the server was asked for.
    void DeleteRequested(const QString& noteId);
    // An upload worker ended and uploadCount rows were stored (the push notice,
    // if any, has gone out already).
    void UploadFinished(const QString& noteId, int uploadCount, bool notify);
    // A note or the tray asked for a command whose window lives elsewhere.
    void CommandRequested(const QString& action, TFmNote* note);

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void WMUpdateLanguage(TWinMessage& msg);
    void WMLoaginFailed(TWinMessage& msg);

    void FFPlayer1FileOpen(qint64 duration);
    void FFPlayer1Position(qint64 position);
    void FFPlayer1State(int state);

    void PrepareDataFolder();
    [[nodiscard]] bool OpenStore(QString* error);
    [[nodiscard]] TLanguageObject StartupLanguage() const;
    void UseInterfaceLanguage(const QString& language);
    void tmrAppUpdateTimer();
    void StartSyncWorkers();
    // Tells the repository which account is signed in and whose notes the desk
    // shows, rows of nobody joining a signed-in account; true when the desk's
    // account changed.
    bool ApplyAccount();
    void StartAdWorker();
    void BuildTrayMenu();
    void RunCommand(const QString& action, TFmNote* note);
    void NoteRowChanged(const QString& id, TUploadFields fields);
    void NoteWriteFailed(const QString& id, const QString& message);
    [[nodiscard]] std::shared_ptr<TNoteContext> BuildNoteContext();

    TFmMainEnv FEnv;
    QString FProgramFolder;
    QString FDataFolder;
    QString FLibAVFolder;
    std::unique_ptr<TDbConnection> FDb;
    std::unique_ptr<NoteRepository> FNotes;
    std::unique_ptr<TLanguageObject> FLanguage;
    std::unique_ptr<QTranslator> FQtTranslator;
    TStoreBackupScheduler* FBackups = nullptr;
    TScreenWatch* FScreenWatch = nullptr;
    TMissedReminderWatch* FMissedWatch = nullptr;
    QList<qint32> FNoteTitleColors;
    QList<qint32> FNoteBodyColors;
    QPointer<QWidget> FQrcodeDl;
    SyncController* FSyncCtl = nullptr;
    bool FStarted = false;
    bool FShuttingDown = false;
    QDeadlineTimer FExitDeadline{QDeadlineTimer::Forever};
    std::shared_ptr<TNoteContext> FNoteContext;
    TNoteManager* FWindows = nullptr;
};

// The one main window of the process (null before it is created and after it is gone).
[[nodiscard]] TFmMain* FmMain();
