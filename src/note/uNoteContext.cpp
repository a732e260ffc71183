#include "note/uNoteContext.h"

#include "lang/uLanguageObject.h"

#include <utility>

const TNoteContextPtr& EmptyNoteContext() {
    static const TNoteContextPtr empty = std::make_shared<const TNoteContext>();
    return empty;
}

TNoteContextPtr OrEmpty(TNoteContextPtr context) {
    return context ? std::move(context) : EmptyNoteContext();
}

const TLanguageObject& LanguageOf(const TNoteContext& context) {
    return LanguageOrEmpty(context.Language ? context.Language() : nullptr);
}

NoteRepository* NotesOf(const TNoteContext& context) {
    return context.Notes ? context.Notes() : nullptr;
}

QString DataFolderOf(const TNoteContext& context) {
    return context.DataFolder ? context.DataFolder() : QString();
}

QString ProgramFolderOf(const TNoteContext& context) {
    return context.ProgramFolder ? context.ProgramFolder() : QString();
}
