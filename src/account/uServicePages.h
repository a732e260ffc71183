#pragma once
// Requests for the pages the program shows in its own browser windows.

#include "net/uHttpClient.h"

#include <QString>

// A plain GET of a page.
[[nodiscard]] THttpRequest PageRequest(const QString& url);
// "clang=" and the language id of the interface's language, so that the
// server's pages speak it too (2052 Chinese, 1033 English).
[[nodiscard]] QString PageLanguageQuery();
// The url with the interface's language added to its query.
[[nodiscard]] QString WithPageLanguage(const QString& url);
// The page from which the mobile app is fetched.
[[nodiscard]] THttpRequest DownloadPageRequest(const QString& userId);
// The change history of one note: a form POST whose body is sent one byte per
// character (the low byte of each UTF-16 unit) with no further encoding.
[[nodiscard]] THttpRequest UpdateHistoryRequest(const QString& userId, const QString& userPass,
                                                const QString& noteId);
