#pragma once
// One sticky note: a borderless, semi-transparent tool window showing one note's
// text over its colour. While nobody edits it, the window paints its text itself
// from its document; the editor (TTransRichEdit) exists only while the text is
// open for editing, so a thousand idle notes carry no thousand editors.

#include "data/uNoteRecord.h"
#include "note/uNoteContext.h"
#include "platform/uMessages.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QPainter;
class QTextDocument;
class QLabel;
class TTransRichEdit;
class TAudioPlayPanel;
class TNoteAd;
class NoteRepository;
class TNoteDeletion;
class TNoteDocking;

class TFmNote : public QWidget {
    Q_OBJECT
public:
    explicit TFmNote(TNoteContextPtr context = nullptr, QWidget* parent = nullptr);
    ~TFmNote() override;

    // What this window asks of the program; notes it makes share it.
    [[nodiscard]] const TNoteContextPtr& ContextPtr() const { return FContext; }
    [[nodiscard]] const TNoteContext& Context() const { return *FContext; }

    // Opens web addresses; tests replace it.
    static std::function<void(const QString& url)> OpenUrlHook;

    // The note as this window last read or wrote it. Alpha and text colour are
    // the ones a cancelled look dialog returns to; the place is the undocked one
    // (the window's geometry is where it is now); pending and revision are as read.
    [[nodiscard]] const NoteRecord& Record() const { return FRecord; }
    [[nodiscard]] const QString& NoteId() const { return FRecord.Note.NoteID; }
    [[nodiscard]] const NoteDock& Dock() const { return FRecord.Dock; }
    [[nodiscard]] bool IsDocked() const { return FRecord.Dock.Docked; }
    // Shows a record read from the store (or just inserted there) in full: text,
    // look, docking; a docked record puts the window on its strip. The window's
    // undocked place is the caller's.
    void ShowRecord(const NoteRecord& record);

    bool ShowAd = false;

    [[nodiscard]] int BgColorIndex() const { return FRecord.Note.BGColorIdx; }
    [[nodiscard]] int IsTopMost() const { return FRecord.Note.IsTopMost; }
    [[nodiscard]] int IsAutoHeight() const { return FRecord.Note.AutoHeight; }
    [[nodiscard]] int ShowAsList() const { return FRecord.Note.ShowAsList; }
    [[nodiscard]] int NoteType() const { return FRecord.Note.NoteType; }
    [[nodiscard]] bool IsPreviewMode() const { return FIsPreviewMode; }
    void SetIsPreviewMode(bool v);

    // A note counting down to its removal has no context menu.
    [[nodiscard]] bool MenuRemoved() const;
    // The part that owns docking (the deletion part is made on first need).
    [[nodiscard]] TNoteDocking& Docking() { return *FDocking; }
    [[nodiscard]] const TNoteDocking& Docking() const { return *FDocking; }

    // Per-window alpha (0..255); layered transparency on or off.
    [[nodiscard]] int Alpha() const { return FAlpha; }
    void SetAlpha(int alpha);
    [[nodiscard]] bool Layered() const { return FLayered; }
    void SetLayered(bool on);

    // The editor's font and text colour (0x00BBGGRR).
    [[nodiscard]] QFont EditorFont() const { return FFont; }
    void SetEditorFont(const QString& name, int pointSize, bool bold);
    [[nodiscard]] qint32 FontColor() const { return FFontColor; }
    void SetFontColor(qint32 color);
    [[nodiscard]] int TextHeight() const;

    // Text.
    void SetNoteText(const QString& text);
    [[nodiscard]] QString NoteText() const;
    [[nodiscard]] const QString& StoredNote() const { return FRecord.Note.NNote; }
    [[nodiscard]] bool ShowsBlankHint() const { return FShowingHint; }
    [[nodiscard]] QTextDocument* Document() const { return FDocument; }
    void EnableMmoNote();
    // A note just made: in front, editing, the caret after its text, so that the
    // first key typed lands in it.
    void TakeTyping();
    [[nodiscard]] bool IsEditing() const { return FNoteState.contains(nsEditing); }
    void ApplyLineSpacing();
    void ApplyListStyle();
    // The note as this window shows it (its reminder is the schedule's, not part of it).
    [[nodiscard]] NoteRecord ShownRecord() const;
    void OnGetOneNoteTerminate();
    // The window's title: the note's first line (the program's name while it has none).
    void UpdateTitle();
    static constexpr int kMaxTitleLength = 60;

    // Look.
    void DrawNoteFrame();
    void LayoutEditor();
    [[nodiscard]] int FocusBorderStep() const;
    [[nodiscard]] QRect EditorRect() const;

    // Placement by the program rather than the user: a note whose place no
    // screen shows is put on one, and remembers the place it came from (its home
    // place), which stays the stored one. It goes home when a screen shows that
    // place again; the user's own move makes the new place its home.
    void MoveAwayFromHome(const QPoint& to);
    void ReturnHome();
    [[nodiscard]] const std::optional<QPoint>& HomePlace() const { return FHomePlace; }

    // The session ends (log-off, shutdown signal): text and look go to the store.
    void SaveOnEndSession();

    // The context menu, built on first use.
    QMenu* PopupMenu();
    void UpdateMenuState();

    TTransRichEdit* mmoNote = nullptr;  // only while editing
    TAudioPlayPanel* pnlPlay = nullptr; // audio notes only
    // A download or a refresh of this note is under way.
    [[nodiscard]] bool IsUpdating() const { return FisUpdatingNote; }
    // The server refused to store this note (it is too long): its hint says so
    // until the note goes up again.
    void ShowSyncRefused();
    void ClearSyncRefused();
    [[nodiscard]] bool SyncRefused() const { return FSyncRefused; }

    // Menu actions (null until the menu is first built).
    QAction* actAddNewNote = nullptr;
    QAction* actDelNote = nullptr;
    QAction* actUpdateNotes = nullptr;
    QAction* actSetTransValue = nullptr;
    QAction* actSetFont = nullptr;
    QAction* actSetColor = nullptr;
    QAction* actBgColor = nullptr;
    QAction* actSetupAlert = nullptr;
    QAction* actTopmost = nullptr;
    QAction* actAutoHide = nullptr;
    QAction* actAutoHeight = nullptr;
    QAction* actListStyle = nullptr;
    QAction* actCopy = nullptr;
    QAction* actPaste = nullptr;
    QAction* actHideOnThisComputer = nullptr;
    QAction* actNoteManager = nullptr;
    QAction* actUpdateHistory = nullptr;
    QAction* actLogin = nullptr;
    QAction* actRegister = nullptr;
    QAction* actMyAccount = nullptr;
    QAction* actFeedBack = nullptr;
    // The tray's commands, shown only while no tray host shows the tray.
    QAction* sepTrayCommands = nullptr;
    QAction* actOptions = nullptr;
    QAction* actImportNotes = nullptr;
    QAction* actAbout = nullptr;
    QAction* actLogout = nullptr;
    QAction* actClose = nullptr;
    QAction* sepBeforeCopy = nullptr;
    QList<QAction*> actListStyles; // by tag 0..6
    QList<QAction*> mnuBgColors;   // by index 0..6

    // Commands.
    void actAddNewNoteExecute();
    void actTopmostExecute();
    void actAutoHeightExecute();
    void actListStyleExecute(int tag);
    void BgColorMenuClick(int index);
    void actSetTransValueExecute();
    void actSetFontExecute();
    void actSetColorExecute();
    void actNoteManagerExecute();
    void actCopyExecute();
    void actPasteExecute();
    void actUpdateNotesExecute();
    void actCloseExecute();

signals:
    // Commands whose windows are built elsewhere; the main window connects them.
    void CommandRequested(const QString& action);

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    // They change the record's docking and text once the store has taken the change.
    friend class TNoteDocking;
    friend class TNoteDeletion;

    TNoteContextPtr FContext;
    NoteRecord FRecord;
    std::unique_ptr<TNoteDocking> FDocking;
    // The store first: true once it took the write (or there is no store to ask).
    bool Stored(const std::function<bool(NoteRepository&)>& write);
    // The look as stored becomes the look shown: what a cancelled dialog returns to.
    void RememberStoredLook();
    void SetStoredNote();
    // The store took the window's place (written only while undocked).
    void TookPlace();
    void ApplyBgColorIndex();
    void ApplyTopMost();
    void ApplyAutoHeight();
    void ApplyNoteType();
    void WMUpdateLanguage();
    // The spinner shows (and turns) while this note or all notes are refreshed.
    void SetUpdating(bool on);
    [[nodiscard]] QRect SpinnerRect() const;
    void EnsureWaitPanel();
    void PlaceControls();
    void WMSetTrans(const TWinMessage& m);
    void WMSetFontColor(const TWinMessage& m);
    void WMSetNoteFont(const TWinMessage& m);
    void WMReloadNote();
    void WMSaveNoteAttrs();
    void WMAppBarNotify(const TWinMessage& m);
    void WMUpdatingBegin();
    void WMUpdatingEnd();
    void Deactivated();
    void StartEditRequest(const QPoint& globalPos);
    void DisableEditor();
    void ShowBlankHint();
    void UpdateAutoHeightFromDocument();
    void mmoNoteHeightChange(int& newH);
    void ApplyFontToDocument();
    void EditorKeyReleased(int key);
    bool EditorMouse(QEvent* e);
    void Tick();
    void DockedDragEnded();
    [[nodiscard]] int HitBorder(const QPoint& p) const;
    void UpdateCursorShape(const QPoint& p);
    [[nodiscard]] QRect ClampedGeometry(QRect r, int edges) const;
    void BuildMenu();
    void UpdateRegion();
    void BuildFrame();
    void PaintFrame(QPainter& p) const;

    TNoteState FNoteState;
    QPoint FLastMousePos;
    bool FisUpdatingNote = false;
    bool FIsShowDesktop = false;
    QLabel* pnlIsUpdating = nullptr;
    bool FSyncRefused = false;
    quint64 FSpinTicket = 0;
    // The advertisement line (kept hidden by the layout) and its hourly timer,
    // made for the note that shows it.
    TNoteAd* FAd = nullptr;
    TNoteAd* EnsureAd();
    QTextDocument* FDocument = nullptr;
    // The background, worked out once per change and only replayed on paint.
    struct TFrameCache {
        bool Valid = false;
        bool Docked = false;
        QSize Size;
        QColor Body;
        QColor Title;
        QColor Border[9];
        int BorderCount = 0;
    } cacheBmp;
    QRect FRegionKey;
    bool FTaskbarSkipped = false;
    QFont FFont;
    qint32 FFontColor = 0;
    int FAlpha = 255;
    bool FLayered = false;
    bool FIsPreviewMode = false;
    bool FShowingHint = false;
    bool FClosedForExit = false;
    int FScrollY = 0;
    quint64 FTicket = 0;

    // Hand-made move and resize: which edges follow the mouse (none = move).
    enum : int { kLeft = 1, kTop = 2, kRight = 4, kBottom = 8 };
    bool FDragging = false;
    int FDragEdges = 0;
    bool FDragMoved = false;
    QPoint FDragStartMouse;
    QRect FDragStartGeometry;
    std::optional<QPoint> FHomePlace;
    QPoint FEditorPressPos;

    QMenu* pmNote = nullptr;
    QMenu* FBgMenu = nullptr;
    QMenu* FListMenu = nullptr;
};

// Palette texts and names, by colour index.
[[nodiscard]] const char* NotePaletteText(int index);
[[nodiscard]] QString NotePaletteName(int index, bool chinese);
