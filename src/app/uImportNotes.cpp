#include "app/uImportNotes.h"

#include "app/uFmMain.h"
#include "data/uNoteImport.h"
#include "data/uNoteRepository.h"
#include "lang/uLanguageObject.h"
#include "note/uFmNote.h"
#include "platform/gui/uWindows.h"

#include <QDir>
#include <QFileDialog>
#include <QUuid>

namespace {

// A long list of unreadable files would push the box off the screen.
constexpr int kListedUnreadable = 10;

QString fill(QString text, const QString& value) {
    const qsizetype at = text.indexOf(QLatin1String("%s"));
    return at < 0 ? text : text.replace(at, 2, value);
}

} // namespace

TImportOutcome ImportNotes(TFmMain& main, const QString& path) {
    const TImportScan scan = NoteImport::Scan(path);
    TImportOutcome outcome;
    outcome.Unreadable = scan.Unreadable;
    const QMetaObject::Connection failures = QObject::connect(
        &main.Notes(), &NoteRepository::failed,
        [&outcome](const QString&, const QString& message) { outcome.StoreError = message; });
    for (const TImportedNote& note : scan.Notes) {
        TNoteItem item = NoteImport::ToNoteItem(
            note, QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(), main.NoteBodyColors());
        const QPoint place = main.GetNewNotesPos(item.FmW, item.FmH);
        item.FmX = place.x();
        item.FmY = place.y();
        if (!main.Notes().InsertFromNote(item, place))
            break;
        // Shown whatever the desktop setting says, as a note just made is: the user asked for these.
        main.AddDownloadedNote(item)->show();
        ++outcome.Imported;
    }
    QObject::disconnect(failures);
    return outcome;
}

QString ImportReport(const TLanguageObject& l, const TImportOutcome& outcome, const QString& path) {
    QString text = outcome.Imported > 0 ? fill(l.FmImporthintImported(), QString::number(outcome.Imported))
                                        : fill(l.FmImporthintNothingFound(), QDir::toNativeSeparators(path));
    if (!outcome.StoreError.isEmpty())
        text += QStringLiteral("\n\n") + outcome.StoreError;
    if (!outcome.Unreadable.isEmpty()) {
        QStringList shown = outcome.Unreadable.mid(0, kListedUnreadable);
        if (outcome.Unreadable.size() > kListedUnreadable)
            shown.append(QStringLiteral("…"));
        text +=
            QStringLiteral("\n\n") + fill(l.FmImporthintUnreadable(), QLatin1Char('\n') + shown.join('\n'));
    }
    return text;
}

void ImportNotesAndReport(TFmMain& main, const QString& path) {
    const TImportOutcome outcome = ImportNotes(main, path);
    const TLanguageObject& l = *main.Language();
    const bool failed = outcome.Imported == 0 || !outcome.StoreError.isEmpty();
    MessageBoxW(nullptr, ImportReport(l, outcome, path),
                failed ? l.Otherstitle_dlgerror() : l.Otherstitle_dlginformation(),
                MB_OK | (failed ? MB_ICONWARNING : MB_ICONINFORMATION));
}

void actImportNotesExecute(TFmMain& main) {
    const QString folder = QFileDialog::getExistingDirectory(
        nullptr, main.Language()->FmImportdlgSelect_Caption(), QDir::homePath());
    if (!folder.isEmpty())
        ImportNotesAndReport(main, folder);
}
