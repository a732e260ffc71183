#pragma once
// The requests of the notes web service and how their replies are read. Pure
// functions: the workers send what these build and act on what they read.

#include "data/uDataTypes.h"
#include "net/uHttpClient.h"

#include <QByteArray>
#include <QString>

class TNoteOptions;

// Who asks: the settings' account and this computer, read fresh for each request.
struct TServiceCredentials {
    QString UserID;
    QString UserPass;
    QString PcID;
    QString UserName;

    [[nodiscard]] static TServiceCredentials From(const TNoteOptions& options);
    [[nodiscard]] bool SignedIn() const { return !UserID.isEmpty(); }
};

// Where the service lives and how its connections are made.
struct TServiceEndpoint {
    QString ApiBase;  // ends in "/api/v11/"
    QString SiteRoot; // ends in "/"
    QString CaFile;   // see THttpRequest::CaFile
    int ConnectTimeoutMs = 10000;
    int ReadTimeoutMs = 10000;

    // The process's configured endpoint (NotesApiBase(), NotesSiteRoot(), ServerCAFile()).
    [[nodiscard]] static TServiceEndpoint Configured();
};

// What the basic-information document says: the push server's dotted address
// (<asyncserver>) and the largest request body the server takes (<maxupload>,
// 0 when it does not say). Nothing for a text that is not such a document.
struct TBasicInfo {
    QString PushAddress;
    qint64 MaxUploadBytes = 0;
    QString SupportMail;
};

namespace NotesService {

// The upload of changed notes: xmlUtf8 is the NoteList document of the rows.
[[nodiscard]] THttpRequest Upload(const TServiceEndpoint& e, const TServiceCredentials& c,
                                  TUploadFields fields, const QByteArray& xmlUtf8);
[[nodiscard]] THttpRequest FullDownload(const TServiceEndpoint& e, const TServiceCredentials& c);
[[nodiscard]] THttpRequest SingleNote(const TServiceEndpoint& e, const TServiceCredentials& c,
                                      const QString& noteId);
[[nodiscard]] THttpRequest Delete(const TServiceEndpoint& e, const TServiceCredentials& c,
                                  const QString& noteId);
[[nodiscard]] THttpRequest Audio(const TServiceEndpoint& e, const TServiceCredentials& c,
                                 const QString& noteId);
[[nodiscard]] THttpRequest BasicInfo(const TServiceEndpoint& e);

enum class TUploadReply { Stored, CredentialsRejected, Failed, NoReply, TooLarge };
// Only an exact "0" (no blank around it) means stored. TooLarge: the server
// refused the body for its size (413); sending it again cannot help.
[[nodiscard]] TUploadReply ReadUploadReply(const THttpResponse& r);

enum class TDeleteReply { Confirmed, Unconfirmed };
// "0" (deleted) and "-1" (the server holds no such note) both settle a deletion;
// anything else, or no reply, leaves it to be sent again.
[[nodiscard]] TDeleteReply ReadDeleteReply(const THttpResponse& r);

struct TDownloadReply {
    bool CredentialsRejected = false;
    bool Answered = false; // a reply arrived that carries a notes document
    QList<TNoteItem> Items;
    TServerStoreState Store;
};
[[nodiscard]] TDownloadReply ReadFullDownloadReply(const THttpResponse& r);
// The single-note reply: "-2" gets no treatment of its own, it is not a document.
[[nodiscard]] QList<TNoteItem> ReadSingleNoteReply(const THttpResponse& r,
                                                   TServerStoreState* store = nullptr);

[[nodiscard]] TBasicInfo ReadBasicInfo(const QByteArray& xml);
// The push server's dotted address from the basic-information reply; empty
// when the reply does not carry one.
[[nodiscard]] QString ReadBasicInfoReply(const THttpResponse& r);

} // namespace NotesService
