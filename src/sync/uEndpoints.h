#pragma once
// Where the services live. The host is the user's own server: set
// ZUVONOTE_HOST (e.g. "http://notes.example.org:8480/") to point the client
// at it; without it the client talks to a server on this computer.

#include <QByteArray>
#include <QString>

// Root of the notes host, ending in "/".
[[nodiscard]] QString NotesSiteRoot();
// NotesSiteRoot() + "api/v11/".
[[nodiscard]] QString NotesApiBase();

inline constexpr const char* ServiceUserAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; Mozilla/4.0 (compatible; MSIE 6.0; Windows NT "
    "5.1; SV1) ; .NET CLR 2.0.50727; .NET CLR 1.1.4322; InfoPath.1)";
// The User-Agent of the main window's own client (the shutdown upload).
inline constexpr const char* ShellUserAgent = "Mozilla/3.0 (compatible; Indy Library)";

inline constexpr quint16 kDefaultPushPort = 50001;
// The push server until the basic-information document names another.
inline constexpr const char* kDefaultPushServer = "127.0.0.1";
