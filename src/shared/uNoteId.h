#pragma once
// A note id names a row, a window, a server item and an audio file, so it must
// never be able to name anything else: only the GUID shape is taken where ids
// come in from outside (8-4-4-4-12 hex digits joined by hyphens, no braces).

#include <QString>
#include <string_view>

inline constexpr qsizetype kNoteIdLength = 36;

[[nodiscard]] bool IsNoteId(std::string_view id);
[[nodiscard]] bool IsNoteId(const QString& id);

// The note's file inside folder, or an empty text when the id would name
// anything else: the folder itself, a path through another folder or out of it.
// Rows written before ids were checked where they come in may still hold such
// an id, so every file path is built here, not only those of new ids.
[[nodiscard]] QString NoteFileIn(const QString& folder, const QString& id);
