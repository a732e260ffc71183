#pragma once
// Where the services live. Every service hangs off one server root: the user's
// own zuvonote-server. The root comes from the environment (ZUVONOTE_SERVER),
// else from the key "Server" of section [config] in config.ini, else a server on
// this computer.

#include <QByteArray>
#include <QString>

inline constexpr const char* kDefaultServerRoot = "http://127.0.0.1:8086/";

// Chooses the root once at start-up; an empty text keeps the default. The
// environment variable, when set, wins over the given text.
void SetServerRoot(const QString& configured);
// The server root, ending in "/".
[[nodiscard]] QString ServerRoot();

// A CA certificate file for an https root whose server has its own CA
// ("ServerCA" of section [config]); empty: the system's store.
void SetServerCAFile(const QString& path);
[[nodiscard]] QString ServerCAFile();

// The notes web site (basic information, pages): the server root.
[[nodiscard]] QString NotesSiteRoot();
// The notes web service: NotesSiteRoot() + "api/v11/".
[[nodiscard]] QString NotesApiBase();
// The sign-on service: root + "sso/v3/".
[[nodiscard]] QString SignOnBase();
// The web site (feedback, forgotten password): root + "www/".
[[nodiscard]] QString WebSiteRoot();
// The advertisement service: root + "ads/".
[[nodiscard]] QString AdServiceRoot();
// The product's home page: the server root.
[[nodiscard]] QString HomePageUrl();
// The maker's web domain shown on the about banner: the server root's host.
[[nodiscard]] QString MakerDomain();
// Where support and feedback mail goes: the address the server names in its
// basic information, or empty while it has named none (a guessed address
// would reach nobody on a server of one's own).
[[nodiscard]] QString SupportMailAddress();
void SetSupportMailAddress(const QString& address);

inline constexpr const char* ServiceUserAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; Mozilla/4.0 (compatible; MSIE 6.0; Windows NT "
    "5.1; SV1) ; .NET CLR 2.0.50727; .NET CLR 1.1.4322; InfoPath.1)";
// The User-Agent of the main window's own client (the shutdown upload).
inline constexpr const char* ShellUserAgent = "Mozilla/3.0 (compatible; Indy Library)";

inline constexpr quint16 kDefaultPushPort = 50001;
// The push server's port: kDefaultPushPort, unless the environment variable
// ZUVONOTE_PUSH_PORT names another (a server on a shared test machine).
[[nodiscard]] quint16 PushServerPort();
// The push server until the basic-information document names another.
inline constexpr const char* kDefaultPushServer = "127.0.0.1";
