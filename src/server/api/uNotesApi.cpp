#include "server/api/uNotesApi.h"

#include "server/api/uApiRoutes.h"

#include <utility>

namespace zsrv {

namespace {

constexpr std::size_t kMaxCachedBytes = 256u << 20;

// An upload and an audio download name their account in the query alone.
std::pair<std::string, std::string> queryCredentials(const TForm& query) {
    return {FormValue(query, "userid").value_or(""), FormValue(query, "userpass").value_or("")};
}

} // namespace

TNotesApi::TNotesApi(TServerStore& store, TAccounts& accounts, const TServerConfig& config)
    : FStore(store), FAccounts(accounts), FConfig(config) {}

std::shared_ptr<const std::string> TNotesApi::notesDocument(const TAccount& account) {
    {
        std::lock_guard l(FCacheLock);
        const auto it = FNotesCache.find(account.Id);
        if (it != FNotesCache.end() && it->second.Version == account.NotesVersion)
            return it->second.Document;
    }
    // Read after the version: the document is at least as new as the version
    // it is filed under, so a cache hit never serves an older state.
    auto doc = std::make_shared<const std::string>(
        WriteNotesDocument(FStore.Notes(account.Id), TStoreStamp{FStore.StoreId(), account.NotesVersion}));
    std::lock_guard l(FCacheLock);
    TCachedNotes& slot = FNotesCache[account.Id];
    if (slot.Version > account.NotesVersion)
        return doc;
    if (slot.Document)
        FCacheBytes -= slot.Document->size();
    if (FCacheBytes + doc->size() > kMaxCachedBytes) {
        FNotesCache.clear();
        FCacheBytes = 0;
    }
    FNotesCache[account.Id] = TCachedNotes{account.NotesVersion, doc};
    FCacheBytes += doc->size();
    return doc;
}

void TNotesApi::Register(THttpServer& svr) {
    PostRoute(svr, "/api/v11/update_note.php", FConfig.MaxBodyBytes,
              [this](const THttpRequest& req, const std::string& body, THttpResponse& res) {
                  const TForm q = ParseQuery(req.Target);
                  const auto [user, pass] = queryCredentials(q);
                  const auto account = FAccounts.Authenticate(user, pass);
                  if (!account) {
                      res.set_content("-2", kTextReply);
                      return;
                  }
                  TFieldSet fields; // no field string (the shutdown upload): every attribute
                  if (const auto f = FormValue(q, "uploadfields")) {
                      const auto parsed = ParseFieldString(*f);
                      if (!parsed) {
                          res.set_content("-1", kTextReply);
                          return;
                      }
                      // The client's "no field" stands for all of them.
                      fields = parsed->Bits == 0 ? TFieldSet{} : *parsed;
                  }
                  TUploadParse upload = ParseUploadBody(body, UploadLimitsFor(FConfig.MaxBodyBytes),
                                                        [&req] { return req.clientGone(); });
                  if (!upload.Error.empty()) {
                      res.set_content("-1", kTextReply);
                      return;
                  }
                  if (!upload.Notes.empty())
                      FStore.StoreNotes(account->Id, ToValidUtf8(FormValue(q, "pcid").value_or("")), fields,
                                        upload.Notes);
                  res.set_content("0", kTextReply);
              });

    PostAndGetRoute(svr, "/api/v11/get_notes.php",
                    [this](const THttpRequest& req, const std::string& body, THttpResponse& res) {
                        const auto [q, b, account] = SignedIn(FAccounts, req, body, res);
                        if (!account)
                            return;
                        res.Shared = notesDocument(*account);
                        res.ContentType = kXmlReply;
                    });

    PostRoute(svr, "/api/v11/get_single_note.php", kSmallForm,
              [this](const THttpRequest& req, const std::string& body, THttpResponse& res) {
                  const auto [q, b, account] = SignedIn(FAccounts, req, body, res);
                  if (!account)
                      return;
                  std::vector<TServerNote> notes;
                  const std::string id = Credential(b, q, "noteid");
                  if (auto n = IsUsableNoteId(id) ? FStore.Note(account->Id, id) : std::nullopt)
                      notes.push_back(std::move(*n));
                  res.set_content(
                      WriteNotesDocument(notes, TStoreStamp{FStore.StoreId(), account->NotesVersion}),
                      kXmlReply);
              });

    PostRoute(svr, "/api/v11/del_note.php", kSmallForm,
              [this](const THttpRequest& req, const std::string& body, THttpResponse& res) {
                  const auto [q, b, account] = SignedIn(FAccounts, req, body, res);
                  if (!account)
                      return;
                  // An id the client could not have made names no note (and is not put to the database).
                  const std::string id = Credential(b, q, "nid");
                  const bool found =
                      IsUsableNoteId(id) &&
                      FStore.DeleteNote(account->Id, id, ToValidUtf8(Credential(b, q, "pcid")));
                  res.set_content(found ? "0" : "-1", kTextReply);
              });

    GetRoute(svr, "/api/v11/downloadfiles.php", [this](const THttpRequest& req, THttpResponse& res) {
        // The client writes whatever body comes into the audio file, so every
        // refusal is an error status, never a reply text.
        const TForm q = ParseQuery(req.Target);
        const auto [user, pass] = queryCredentials(q);
        const auto account = FAccounts.Authenticate(user, pass);
        if (!account) {
            res.Status = 403;
            return;
        }
        const std::string id = FormValue(q, "noteid").value_or("");
        auto audio = IsUsableNoteId(id) ? FStore.Audio(account->Id, id) : std::nullopt;
        if (!audio) {
            res.Status = 404;
            return;
        }
        res.set_content(std::move(audio->Bytes), "application/octet-stream");
    });

    // Known credentials go to the request pool at once, others to the check
    // queue. Uploads are checked on their query before their body is taken.
    for (const char* path :
         {"/api/v11/get_notes.php", "/api/v11/get_single_note.php", "/api/v11/del_note.php"})
        svr.Gate("POST", path, CredentialGate(FAccounts));
    for (const char* path : {"/api/v11/get_notes.php", "/api/v11/downloadfiles.php"})
        svr.Gate("GET", path, CredentialGate(FAccounts));
    // An upload's body is never read here.
    svr.Gate("POST", "/api/v11/update_note.php",
             TCredentialGate{[this](const THttpRequest& req) {
                                 const auto [user, pass] = queryCredentials(ParseQuery(req.Target));
                                 return CredentialStateOf(FAccounts.KnownId(user, pass));
                             },
                             [this](const THttpRequest& req) {
                                 const auto [user, pass] = queryCredentials(ParseQuery(req.Target));
                                 return FAccounts.Authenticate(user, pass).has_value();
                             }});
}

} // namespace zsrv
