#pragma once
// How a request to the user's server is set up. Each part of the program that
// asks has one row in a table: its user agent, time-outs and reply limit, and
// whether the account's secret goes along. Every request trusts the server's
// own CA file when one is configured, so no caller can forget it.

#include "net/uHttpClient.h"

#include <QByteArray>
#include <QString>

// A reply of text (a status, a list, a small document) longer than this is no
// reply of the server's; pages may be larger.
inline constexpr qsizetype kTextReplyLimit = 1 << 20;
inline constexpr qsizetype kPageReplyLimit = 64 << 20;

enum class TServiceCaller {
    NotesService, // the sync workers; the account's digest goes along
    SignOn,       // sign-in and registration; a password or its digest goes along
    Pages,        // pages shown in the program's own windows
    Adverts,      // the advertisement list
    Feedback,     // the feedback form, sent with the main window's own client
    ExitUpload,   // the upload at the end of a session, with the main window's own client
};

// A GET of url set up for caller. caFile: the certificates to trust instead of
// the system's (see THttpRequest::CaFile); workers pass the copy they took at
// their start.
[[nodiscard]] THttpRequest ServiceRequest(TServiceCaller caller, const QString& url, const QString& caFile);
[[nodiscard]] THttpRequest ServiceRequest(TServiceCaller caller, const QString& url);

// The same request as a POST of a form body ("application/x-www-form-urlencoded").
[[nodiscard]] THttpRequest ServiceFormPost(TServiceCaller caller, const QString& url, QByteArray body,
                                           const QString& caFile);
[[nodiscard]] THttpRequest ServiceFormPost(TServiceCaller caller, const QString& url, QByteArray body);
