#include "support/NoteTestContext.h"

#include "data/uAppState.h"
#include "data/uNoteRepository.h"
#include "note/uFmNote.h"
#include "support/TestEnv.h"

#include <QDir>

namespace testenv {

TTestNoteContext::TTestNoteContext() : Setup(MakeProgramSetup(false)) {
    QDir().mkpath(Setup.DataFolder());
    LoadSettings("[config]\nLanguage=English\n");
    const QString path = Setup.DataFolder() + QStringLiteral("brisel.mdb");
    NoteStore::CreateFromSchema(path);
    FDb = NoteStore::Open(path);
    UpgradeSchema(*FDb);
    FNotes = std::make_unique<NoteRepository>(*FDb);
    QObject::connect(FNotes.get(), &NoteRepository::changed,
                     [this](const QString& id, TUploadFields) { Changed.append(id); });
    (void)FLanguage.LoadFromFile(
        TLanguageObject::LanguageFilePath(Setup.ProgramFolder, QStringLiteral("English")));

    auto context = std::make_shared<TNoteContext>();
    FShared = context;
    context->Notes = [this] { return FNotes.get(); };
    context->Language = [this] { return &FLanguage; };
    context->DataFolder = [this] { return Setup.DataFolder(); };
    context->ProgramFolder = [this] { return Setup.ProgramFolder; };
    context->ShowNoteAgain = [this](const NoteRecord& row) { ShownAgain.append(row.id()); };
    context->NotesShownChanged = [this](bool shown) { NotesShown.append(shown); };
    FContext = std::move(context);
}

TTestNoteContext::~TTestNoteContext() {
    for (const QPointer<TFmNote>& n : FNotesMade)
        delete n.data();
    // A window that outlives the test finds the context empty, not dangling.
    *FShared = TNoteContext{};
}

void TTestNoteContext::LoadSettings(const QByteArray& config) {
    const QString path = Setup.DataFolder() + QStringLiteral("config.ini");
    writeFile(path, config);
    AppState().LoadSettings(path);
}

TFmNote* TTestNoteContext::NewNote(const QString& id) {
    NoteRecord record;
    record.Note.NoteID = id;
    if (const std::optional<NoteRecord> stored = FNotes->Find(id))
        record = *stored;
    auto* n = new TFmNote(FContext);
    FNotesMade.append(n);
    const TNoteItem& i = record.Note;
    if (i.FmW > 0 && i.FmH > 0)
        n->setGeometry(i.FmX, i.FmY, i.FmW, i.FmH);
    n->ShowRecord(record);
    return n;
}

} // namespace testenv
