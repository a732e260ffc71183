#pragma once
// What the server keeps: accounts, each account's notes keyed by note id with
// every stored version, audio recordings and feedback. One interface; the
// database behind it is SQLite or PostgreSQL (uSqlPool.h).

#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zsrv {

// The attributes of a note in the column order of the client's upload document.
enum TNoteColumn : int {
    ncId,
    ncText,
    ncFormX,
    ncFormY,
    ncFormW,
    ncFormH,
    ncFormTrans,
    ncFontColor,
    ncFontSize,
    ncFontName,
    ncFontBold,
    ncAlertType,
    ncAlertValue1,
    ncAlertValue2,
    ncAlertValue3,
    ncIsTopMost,
    ncAutoHeight,
    ncBgColorIndex,
    ncShowAsList,
    ncFileMd5,
    ncNoteType,
    kNoteColumnCount
};

// Element names of the upload document, indexed by TNoteColumn.
[[nodiscard]] std::string_view UploadElementName(int column);
[[nodiscard]] bool IsTextColumn(int column);

// One note as the server keeps it. Values are held by column; integer columns
// hold decimal text, so a value always round-trips exactly as it was stored.
struct TServerNote {
    std::array<std::string, kNoteColumnCount> Values;
    std::int32_t ShowNote = 1; // 0 once deleted (a tombstone the other devices read)
    std::int64_t Version = 0;

    [[nodiscard]] const std::string& id() const { return Values[ncId]; }
    [[nodiscard]] std::int64_t integer(int column) const;
};

// One note of an upload: the values of the elements that were present.
struct TUploadNote {
    TServerNote Note;
    std::bitset<kNoteColumnCount> Present;
};

// The attributes an upload marks as changed: bit n of the client's field set.
// All eleven bits set (or no field string at all) means every attribute.
struct TFieldSet {
    std::uint16_t Bits = 0x7FF;
    [[nodiscard]] bool all() const { return (Bits & 0x7FF) == 0x7FF; }
    [[nodiscard]] bool has(int bit) const { return (Bits >> bit) & 1u; }
    [[nodiscard]] std::string text() const;
};

// Combines an upload with the stored note (none for a new note). Only marked
// attributes change an existing note; the audio attributes stay the server's
// while it holds a recording for the note.
[[nodiscard]] TServerNote MergeUpload(const TServerNote* stored, const TUploadNote& upload, TFieldSet fields,
                                      bool serverHasAudio);

struct TAccount {
    std::int64_t Id = 0;
    std::string Email;
    std::string DisplayName;
    std::string Verifier; // salted slow hash of the password digest (uAccounts.h)
    std::int64_t NotesVersion = 0;
};

struct TNewAccount {
    std::string Email;
    std::string DisplayName;
    std::string Verifier;
    std::string Details; // the optional registration fields, one "name=value" a line
};

struct TNoteVersion {
    std::int64_t Version = 0;
    std::string StoredAt; // UTC, ISO 8601
    std::string Device;   // computer id of the uploader
    std::string Change;   // the field string, or "delete"
    TServerNote Note;
};

struct TFeedback {
    std::string Name, Email, Content, Product, RemoteAddr;
};

struct TStoredFeedback {
    std::int64_t Id = 0;
    std::string ReceivedAt; // UTC, as stored
    TFeedback Item;
};

struct TAudio {
    std::string Bytes;
    std::string Md5;
};

// A push notice travelling between server processes that share one database.
struct TPushNotice {
    std::int64_t UserId = 0;
    std::string DeviceId; // the sender, who must not get it back
    std::string NoteId;
    std::string Origin; // the process that already delivered it locally
};

class TServerStore {
public:
    virtual ~TServerStore() = default;

    [[nodiscard]] virtual std::optional<TAccount> AccountById(std::int64_t id) = 0;
    [[nodiscard]] virtual std::optional<TAccount> AccountByEmail(std::string_view email) = 0;
    // nullopt when the e-mail account exists already (compared without case).
    [[nodiscard]] virtual std::optional<std::int64_t> CreateAccount(const TNewAccount& account) = 0;
    [[nodiscard]] virtual bool SetVerifier(std::int64_t id, const std::string& verifier) = 0;

    // Stores every note of one upload in one transaction, each as a new version.
    virtual void StoreNotes(std::int64_t user, std::string_view device, TFieldSet fields,
                            const std::vector<TUploadNote>& notes) = 0;
    [[nodiscard]] virtual std::vector<TServerNote> Notes(std::int64_t user) = 0;
    [[nodiscard]] virtual std::optional<TServerNote> Note(std::int64_t user, std::string_view id) = 0;
    // Leaves a tombstone; false when the user has no such note.
    [[nodiscard]] virtual bool DeleteNote(std::int64_t user, std::string_view id,
                                          std::string_view device) = 0;
    [[nodiscard]] virtual std::vector<TNoteVersion> History(std::int64_t user, std::string_view id) = 0;

    // Attaches a recording and makes the note an audio note; false when the user has no such note.
    [[nodiscard]] virtual bool PutAudio(std::int64_t user, std::string_view id, const TAudio& audio) = 0;
    [[nodiscard]] virtual std::optional<TAudio> Audio(std::int64_t user, std::string_view id) = 0;

    virtual void AddFeedback(const TFeedback& feedback) = 0;
    [[nodiscard]] virtual std::int64_t FeedbackCount() = 0;
    // Stored feedback, oldest first.
    [[nodiscard]] virtual std::vector<TStoredFeedback> Feedback() = 0;

    // The store's identity, made once with the store and kept with its data: a
    // new (or another) store has another.
    [[nodiscard]] virtual const std::string& StoreId() const = 0;

    // Whether other server processes can share this database (and its notices).
    [[nodiscard]] virtual bool HasPeers() const = 0;
    // Hands a notice to the other processes on the same database.
    virtual void Publish(const TPushNotice& notice) = 0;
    // Receives the notices of the other processes, on a thread of the store's own.
    virtual void Subscribe(std::function<void(const TPushNotice&)> onNotice) = 0;
};

struct TStoreOptions {
    // SQLite: wait for the disk at every commit (synchronous=FULL). Off, a commit
    // survives a crash of the server but may be lost with the machine's power
    // (synchronous=NORMAL); the file is consistent either way.
    bool SqliteFullSync = true;
};

// Opens the store a --db text names: "sqlite:PATH" or "postgresql://..." (also
// "postgres://"). Creates the tables when they are missing. Throws
// std::runtime_error with the reason when it cannot.
[[nodiscard]] std::unique_ptr<TServerStore> OpenStore(const std::string& location,
                                                      TStoreOptions options = {});

// Time now as stored: UTC, ISO 8601 with milliseconds.
[[nodiscard]] std::string NowUtc();

} // namespace zsrv
