// The note window's context menu and the commands behind it.

#include "note/uFmNote.h"

#include "data/uAppState.h"
#include "data/uNoteRepository.h"
#include "lang/uLanguageObject.h"
#include "note/uFmNoteSupport.h"
#include "note/uNoteDeletion.h"
#include "note/uNoteDocking.h"
#include "note/uNoteManager.h"
#include "note/uNoteText.h"
#include "note/uTransRichEdit.h"
#include "platform/gui/uMenuIcons.h"
#include "platform/gui/uWindows.h"
#include "ui/uFmFont.h"
#include "ui/uFmNoteManager.h"
#include "ui/uFmSetColor.h"
#include "ui/uFmSetTransValue.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QMimeData>
#include <QSlider>
#include <QTextDocumentFragment>
#include <QUuid>

using namespace NoteSupport;

// ---- menu and commands ----------------------------------------------------------

QMenu* TFmNote::PopupMenu() {
    if (!pmNote)
        BuildMenu();
    UpdateMenuState();
    return pmNote;
}

void TFmNote::BuildMenu() {
    pmNote = new QMenu(this);
    auto add = [this](QAction*& a, const char* name, auto slot) {
        a = pmNote->addAction(QString());
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, slot);
    };
    auto request = [this](const char* name) {
        return [this, name] { emit CommandRequested(QLatin1String(name)); };
    };
    add(actAddNewNote, "actAddNewNote", [this] { actAddNewNoteExecute(); });
    add(actDelNote, "actDelNote", [this] { TNoteDeletion::DeleteNote(this); });
    add(actUpdateNotes, "actUpdateNotes", [this] { actUpdateNotesExecute(); });
    pmNote->addSeparator();
    add(actSetTransValue, "actSetTransValue", [this] { actSetTransValueExecute(); });
    add(actSetFont, "actSetFont", [this] { actSetFontExecute(); });
    add(actSetColor, "actSetColor", [this] { actSetColorExecute(); });
    FBgMenu = pmNote->addMenu(QString());
    actBgColor = FBgMenu->menuAction();
    auto* bgGroup = new QActionGroup(this);
    const TAppState& app = AppState();
    const bool chinese =
        (app.InterfaceLanguage.isEmpty() ? app.NoteOptions.FconfigLanguage : app.InterfaceLanguage) ==
        QLatin1String("Chinese");
    for (int i = 0; i < 7; ++i) {
        QAction* a = FBgMenu->addAction(NotePaletteName(i, chinese));
        a->setCheckable(true);
        a->setData(i);
        bgGroup->addAction(a);
        connect(a, &QAction::triggered, this, [this, i] { BgColorMenuClick(i); });
        mnuBgColors.append(a);
    }
    add(actSetupAlert, "actSetupAlert", request("actSetupAlert"));
    add(actTopmost, "actTopmost", [this] { actTopmostExecute(); });
    actTopmost->setCheckable(true);
    add(actAutoHide, "actAutoHide", [this] { FDocking->ToggleAutoHide(); });
    actAutoHide->setCheckable(true);
    add(actAutoHeight, "actAutoHeight", [this] { actAutoHeightExecute(); });
    actAutoHeight->setCheckable(true);
    FListMenu = pmNote->addMenu(QString());
    actListStyle = FListMenu->menuAction();
    auto* listGroup = new QActionGroup(this);
    for (int tag = 0; tag < 7; ++tag) {
        // Menu order: none, bullet, arabic, lower letters, upper letters, lower roman, upper roman.
        QAction* a = FListMenu->addAction(QString());
        a->setCheckable(true);
        a->setData(tag);
        listGroup->addAction(a);
        connect(a, &QAction::triggered, this, [this, tag] { actListStyleExecute(tag); });
        actListStyles.append(a);
    }
    sepBeforeCopy = pmNote->addSeparator();
    add(actCopy, "actCopy", [this] { actCopyExecute(); });
    add(actPaste, "actPaste", [this] { actPasteExecute(); });
    add(actHideOnThisComputer, "actHideOnThisComputer", [this] { TNoteDeletion::HideOnThisComputer(this); });
    add(actNoteManager, "actNoteManager", [this] { actNoteManagerExecute(); });
    add(actUpdateHistory, "actUpdateHistory", request("actUpdateHistory"));
    pmNote->addSeparator();
    add(actLogin, "actLogin", request("actLogin"));
    add(actRegister, "actRegister", request("actRegister"));
    add(actMyAccount, "actMyAccount", request("actMyAccount"));
    pmNote->addSeparator();
    add(actFeedBack, "actFeedBack", request("actFeedBack"));
    sepTrayCommands = pmNote->addSeparator();
    add(actOptions, "actOptions", request("actOptions"));
    add(actImportNotes, "actImportNotes", request("actImportNotes"));
    add(actAbout, "actAbout", request("actAbout"));
    add(actLogout, "actLogout", request("actLogout"));
    add(actClose, "actClose", [this] { actCloseExecute(); });
    SetMenuIcons({{actAddNewNote, TMenuIcon::Add},
                  {actDelNote, TMenuIcon::Delete},
                  {actSetTransValue, TMenuIcon::Transparency},
                  {actSetFont, TMenuIcon::Font},
                  {actSetColor, TMenuIcon::TextColor},
                  {actBgColor, TMenuIcon::BackgroundColor},
                  {actSetupAlert, TMenuIcon::Reminder},
                  {actFeedBack, TMenuIcon::Feedback},
                  {actClose, TMenuIcon::Exit}});
    WMUpdateLanguage();
}

void TFmNote::UpdateMenuState() {
    // 1. The only note, blank, cannot be deleted.
    NoteRepository* repo = notes(Context());
    actDelNote->setEnabled(!(repo && repo->OnlyNoteIsBlank()));
    // 2. Signed in or not.
    const bool in = signedIn();
    actLogin->setVisible(!in);
    actRegister->setVisible(!in);
    actMyAccount->setVisible(in);
    sepBeforeCopy->setVisible(in);
    actHideOnThisComputer->setVisible(in);
    actUpdateHistory->setVisible(in);
    // Without a tray these are the only way to them.
    const bool noTray = Context().TrayMissing && Context().TrayMissing();
    for (QAction* a : {sepTrayCommands, actOptions, actImportNotes, actAbout})
        a->setVisible(noTray);
    actLogout->setVisible(noTray && in);
    // 3. Paste only while editing with text on the clipboard.
    const QMimeData* clip = QGuiApplication::clipboard()->mimeData();
    actPaste->setVisible(mmoNote && mmoNote->isEnabled() && clip && clip->hasText());
    // 4.
    actAutoHide->setChecked(AppState().NoteOptions.FconfigAutoHideNote);
    actTopmost->setChecked(IsTopMost() == 1);
    actAutoHeight->setChecked(IsAutoHeight() == 1);
    actListStyles[safeIndex(ShowAsList())]->setChecked(ShowAsList() >= 0 && ShowAsList() <= 6);
    mnuBgColors[safeIndex(BgColorIndex())]->setChecked(true);
}

void TFmNote::actAddNewNoteExecute() {
    if (FIsPreviewMode)
        return;
    const TNoteContext& c = Context();
    NoteRepository* repo = notes(c);
    if (!repo || !c.NewNotePos)
        return;
    const TNoteOptions& o = AppState().NoteOptions;
    const QString date =
        o.FconfigInsertDateAuto && ShowAsList() > 0
            ? NoteText::FormatDateText(o.FconfigInsertDateFormat, QDateTime::currentDateTime())
            : QString();
    // A strip passes on the size of the note it stands for, not its own.
    const QSize size = IsDocked() ? FDocking->UndockedSize() : this->size();
    const QPoint place = c.NewNotePos(size.width(), size.height());
    TNoteItem look;
    look.NoteID = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    look.NNote = date;
    look.FmW = size.width();
    look.FmH = size.height();
    look.FmTrans = FAlpha;
    look.FontColor = FFontColor;
    look.FontName = FFont.family();
    look.FontSize = FFont.pointSize();
    look.FontBold = FFont.bold() ? 1 : 0;
    look.IsTopMost = IsTopMost();
    look.AutoHeight = IsAutoHeight();
    look.ShowAsList = ShowAsList();
    look.BGColorIdx = BgColorIndex();
    look.FmX = place.x();
    look.FmY = place.y();
    if (!repo->InsertFromNote(look, place))
        return;

    auto* n = new TFmNote(ContextPtr());
    n->setGeometry(QRect(place, size));
    NoteRecord made;
    made.Note = look;
    n->ShowRecord(made);
    n->SetLayered(true);
    if (c.AdoptNote)
        c.AdoptNote(n);
    n->show();
    n->TakeTyping();
}

void TFmNote::actTopmostExecute() {
    if (FIsPreviewMode)
        return;
    const int on = IsTopMost() == 1 ? 0 : 1;
    // A failed write leaves the note, and its menu's check mark, as stored.
    if (Stored([&](NoteRepository& r) { return r.SetTopMost(NoteId(), on == 1); }))
        FRecord.Note.IsTopMost = on;
    ApplyTopMost();
}

void TFmNote::actAutoHeightExecute() {
    if (FIsPreviewMode)
        return;
    const int on = IsAutoHeight() == 1 ? 0 : 1;
    if (Stored([&](NoteRepository& r) { return r.SetAutoHeight(NoteId(), on == 1); }))
        FRecord.Note.AutoHeight = on;
    ApplyAutoHeight();
}

void TFmNote::actListStyleExecute(int tag) {
    if (FIsPreviewMode)
        return;
    const bool stored = Stored([&](NoteRepository& r) { return r.SetShowAsList(NoteId(), tag); });
    if (stored) {
        FRecord.Note.ShowAsList = tag;
        ApplyListStyle();
    }
    if (!actListStyles.isEmpty())
        actListStyles[safeIndex(ShowAsList())]->setChecked(true);
    if (!stored)
        return;
    const TNoteOptions& o = AppState().NoteOptions;
    if (NoteText().trimmed().isEmpty() && o.FconfigInsertDateAuto && tag > 0)
        SetNoteText(NoteText::FormatDateText(o.FconfigInsertDateFormat, QDateTime::currentDateTime()));
    ApplyListStyle();
    if (mmoNote) {
        QTextCursor c = mmoNote->textCursor();
        c.setPosition(0);
        mmoNote->setTextCursor(c);
    }
}

void TFmNote::BgColorMenuClick(int index) {
    if (FIsPreviewMode)
        return;
    if (Stored([&](NoteRepository& r) { return r.SetBgColorIndex(NoteId(), index); }))
        FRecord.Note.BGColorIdx = index;
    if (!mnuBgColors.isEmpty())
        mnuBgColors[safeIndex(BgColorIndex())]->setChecked(true);
    ApplyBgColorIndex();
}

namespace {

// The dialog changes the note that opened it, or with apply-to-all every note window.
void OpenedBy(TFmAppearanceDialog& d, TFmNote* note) {
    d.NoteWindow = note;
    if (TNoteManager* all = NoteWindows(note->Context()))
        d.ToAllNotes = [windows = QPointer<TNoteManager>(all)](int msg, WPARAM wParam, LPARAM lParam) {
            if (windows)
                windows->Broadcast(msg, wParam, lParam);
        };
}

} // namespace

void TFmNote::actSetTransValueExecute() {
    FRecord.Note.FmTrans = FAlpha;
    TFmSetTransValue d(this, lang(Context()));
    OpenedBy(d, this);
    d.TrackBar1->setValue(TFmSetTransValue::PositionOfAlpha(FAlpha));
    ExecModal(d);
}

void TFmNote::actSetFontExecute() {
    TFmSetFont d(this, lang(Context()));
    OpenedBy(d, this);
    d.SetNoteFont(FFont.family(), FFont.pointSize(), FFont.bold());
    ExecModal(d);
}

void TFmNote::actSetColorExecute() {
    FRecord.Note.FontColor = FFontColor;
    TFmSetColor d(this, lang(Context()));
    OpenedBy(d, this);
    d.Shape1->SetBrushColor(FFontColor);
    ExecModal(d);
}

void TFmNote::actNoteManagerExecute() {
    TFmNoteManager d(this, ContextPtr());
    ExecModal(d);
}

void TFmNote::actCopyExecute() {
    QString text;
    if (mmoNote && mmoNote->textCursor().hasSelection())
        text = mmoNote->textCursor().selection().toPlainText();
    else
        text = NoteText();
    QGuiApplication::clipboard()->setText(text);
}

void TFmNote::actPasteExecute() {
    if (mmoNote && mmoNote->isEnabled())
        mmoNote->paste();
}

void TFmNote::actUpdateNotesExecute() {
    const TNoteOptions& o = AppState().NoteOptions;
    if (o.FconfigUserID.isEmpty() || o.FconfigUserPass.isEmpty()) {
        MessageBoxW(this, lang(Context())->FmNoteudpnotes_err_notlogin(),
                    lang(Context())->Otherstitle_dlginformation(), MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (Context().DownloadAll)
        Context().DownloadAll();
}

void TFmNote::actCloseExecute() {
    if (TNoteManager* windows = NoteWindows(Context()))
        windows->Broadcast(WM_CLOSENOTE);
    else
        SendMessageW(this, WM_CLOSENOTE, 0, 0);
    if (Context().Quit)
        Context().Quit();
}
