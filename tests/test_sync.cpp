// The notes web service as the sync workers speak it: the exact request bytes,
// how each reply is read, and what uploads, deletions and downloads do to the
// store, against a recording loopback server.

#include "account/uServicePages.h"
#include "account/uSignOn.h"
#include "app/uFmMain.h"
#include "data/uAppState.h"
#include "data/uNoteRepository.h"
#include "data/uNoteStore.h"
#include "data/uSyncStore.h"
#include "extras/uFeedbackForm.h"
#include "extras/uZuvoAds.h"
#include "lang/uLanguageObject.h"
#include "net/uEndpoints.h"
#include "net/uHttpClient.h"
#include "net/uServiceRequest.h"
#include "note/uFmNote.h"
#include "note/uNoteManager.h"
#include "shared/uMd5.h"
#include "shared/uNoteId.h"
#include "support/LoopbackHttpServer.h"
#include "support/ProgramFolder.h"
#include "support/TestEnv.h"
#include "sync/uNotesService.h"
#include "sync/uSyncController.h"
#include "sync/uSyncEngine.h"
#include "sync/uSyncWorkers.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QUrl>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

const TServiceCredentials kCreds{QStringLiteral("42"), QStringLiteral("0123456789abcdef0123456789abcdef"),
                                 QStringLiteral("PC-1"), QStringLiteral("ann")};

QString decodeForm(const QByteArray& body) {
    QByteArray b = body;
    b.replace('+', ' ');
    return QString::fromUtf8(QByteArray::fromPercentEncoding(b));
}

// One store file with the upgraded schema, plus a service double and a context for it.
struct TSyncFixture : ::testing::Test {
    TLoopbackHttpServer Server;
    QString Dir = testenv::freshDir(QStringLiteral("sync"));
    std::unique_ptr<TDbConnection> Db;
    TSyncContext Ctx;
    int LoginFailures = 0;
    QList<TNoteItem> NewNotes;
    int Removed = 0;
    int Changed = 0;

    void SetUp() override {
        const QString path = Dir + QStringLiteral("/brisel.mdb");
        NoteStore::CreateFromSchema(path);
        {
            auto db = TDbConnection::Open(path);
            UpgradeSchema(*db);
        }
        Db = SyncEngine::OpenStore(path);
        Ctx.Endpoint.ApiBase = Server.baseUrl() + QStringLiteral("api/v11/");
        Ctx.Endpoint.SiteRoot = Server.baseUrl();
        Ctx.Endpoint.ConnectTimeoutMs = 2000;
        Ctx.Endpoint.ReadTimeoutMs = 2000;
        Ctx.Credentials = [] { return kCreds; };
        Ctx.AudioFolder = Dir + QStringLiteral("/audio/");
        Ctx.LoginFailed = [this] { ++LoginFailures; };
        Ctx.NewNote = [this](const TNoteItem& n) { NewNotes.append(n); };
        Ctx.NoteRemoved = [this] { ++Removed; };
        Ctx.NotesChanged = [this] { ++Changed; };
        Ctx.Pause = [](int) { return true; };
    }

    void addRow(const QString& id, const QString& text, const QVariant& committed, int noteType = 0) {
        NoteStore::InsertFromShell(*Db, id, 10, 10);
        Db->Exec(QStringLiteral("update notes set mynote=?, commited=?, notetype=? where id=?"),
                 {text, committed, noteType, id});
    }
    [[nodiscard]] QVariant column(const QString& id, const QString& col) {
        const TRowSet r = Db->Select(QStringLiteral("select %1 from notes where id=?").arg(col), {id});
        return r.rowCount() ? r.Rows[0][0] : QVariant(QStringLiteral("<no row>"));
    }
    void reply(const QByteArray& body, int status = 200) {
        TCannedReply r;
        r.Body = body;
        r.Status = status;
        Server.setReply(r);
    }
};

// Server items carry note ids only: a test names its notes, and each name
// stands for a GUID of its own.
QString nid(const QString& name) {
    if (IsNoteId(name))
        return name;
    const QByteArray h = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Md5).toHex().toUpper();
    return QString::fromLatin1(h.left(8) + '-' + h.mid(8, 4) + '-' + h.mid(12, 4) + '-' + h.mid(16, 4) + '-' +
                               h.mid(20, 12));
}

// A NOTES document; each item is given as its inner elements.
QByteArray notesDoc(const QList<QByteArray>& items) {
    QByteArray out = "<?xml version=\"1.0\" encoding=\"utf-8\"?><NOTES>";
    for (const QByteArray& i : items)
        out += "<NOTEITEM>" + i + "</NOTEITEM>";
    return out + "</NOTES>";
}
QByteArray item(const char* id, const char* text, const char* shownote, int bg = 0) {
    QByteArray out = "<ID>" + nid(QString::fromUtf8(id)).toUtf8() + "</ID><MyNote><![CDATA[" + text +
                     "]]></MyNote><FormW>200</FormW>" + "<FormH>100</FormH><BGColorIndex>" +
                     QByteArray::number(bg) + "</BGColorIndex>";
    if (shownote)
        out += QByteArray("<shownote>") + shownote + "</shownote>";
    return out;
}

} // namespace

// ---- request bytes ---------------------------------------------------------------

TEST_F(TSyncFixture, EveryRequestCarriesItsExactAddressHeadersAndBody) {
    using namespace NotesService;
    const TServiceEndpoint& e = Ctx.Endpoint;
    const QString api = e.ApiBase;
    const QString cq = QStringLiteral("?userid=42&userpass=0123456789abcdef0123456789abcdef&pcid=PC-1");
    const QByteArray cf = "userid=42&userpass=0123456789abcdef0123456789abcdef&pcid=PC-1";
    struct TCase {
        THttpRequest Req;
        QByteArray Method;
        QString Url;
        QByteArray Body;
    };
    const TCase cases[] = {
        {Upload(e, kCreds, {utNote}, "<x a=\"1\">& ü</x>"), "POST",
         api + QStringLiteral("update_note.php") + cq +
             QStringLiteral("&uploadfields=10000000000111111111&os=Windows"),
         "%3Cx+a%3D%221%22%3E%26+%C3%BC%3C%2Fx%3E"},
        {Upload(e, kCreds, {}, "d"), "POST",
         api + QStringLiteral("update_note.php") + cq +
             QStringLiteral("&uploadfields=11111111111111111111&os=Windows"),
         "d"},
        {FullDownload(e, kCreds), "POST", api + QStringLiteral("get_notes.php") + cq, cf},
        {SingleNote(e, kCreds, QStringLiteral("N-1")), "POST",
         api + QStringLiteral("get_single_note.php") + cq + QStringLiteral("&noteid=N-1"),
         cf + "&noteid=N-1"},
        {Delete(e, kCreds, QStringLiteral("N-1")), "POST", api + QStringLiteral("del_note.php"),
         "nid=N-1&userid=42&userpass=0123456789abcdef0123456789abcdef&username=ann"},
        {Audio(e, kCreds, QStringLiteral("N-1")), "GET",
         api + QStringLiteral("downloadfiles.php") + cq + QStringLiteral("&noteid=N-1"), ""},
        {BasicInfo(e), "GET", e.SiteRoot + QStringLiteral("zuvonote.xml"), ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Url.toStdString());
        EXPECT_EQ(c.Req.Url.toStdString(), c.Url.toStdString());
        EXPECT_EQ(c.Req.Method, c.Method);
        EXPECT_EQ(c.Req.Body, c.Body);
        EXPECT_EQ(c.Req.ConnectTimeoutMs, 2000);
        reply("0");
        (void)HttpPerform(c.Req);
        const TRecordedRequest got = Server.requests().constLast();
        EXPECT_EQ(got.Method, c.Method);
        EXPECT_EQ(got.Target.toStdString(),
                  QUrl(c.Url).toString(QUrl::RemoveScheme | QUrl::RemoveAuthority).toStdString());
        EXPECT_EQ(got.Body, c.Body);
        EXPECT_EQ(got.Headers.value("user-agent"), QByteArray(ServiceUserAgent));
        EXPECT_EQ(got.Headers.value("referer"), api.toUtf8());
        if (c.Method == "POST") {
            EXPECT_EQ(got.Headers.value("content-type"), "application/x-www-form-urlencoded");
        }
    }
}

TEST(SyncForm, ValuesKeepAmpersandEqualsAndPlusIntact) {
    const TServiceCredentials c{QStringLiteral("7"), QStringLiteral("p&w=1+2"), QStringLiteral("PC"),
                                QStringLiteral("a b&c=d+e#ü")};
    const THttpRequest r = NotesService::Delete(TServiceEndpoint{}, c, QStringLiteral("N"));
    EXPECT_EQ(r.Body, "nid=N&userid=7&userpass=p%26w%3D1%2B2&username=a%20b%26c%3Dd%2Be%23%C3%BC");
    // Whatever the value holds, each line decodes back to its own value.
    for (const QByteArray& line : r.Body.split('&')) {
        const QByteArray value = line.mid(line.indexOf('=') + 1);
        EXPECT_FALSE(value.contains('=') || value.contains('+'));
    }
    EXPECT_EQ(QString::fromUtf8(QByteArray::fromPercentEncoding(r.Body.split('&')[3].mid(9))),
              QStringLiteral("a b&c=d+e#ü"));
}

TEST(SyncSecrets, TheDigestGoesOnlyOverHttpsOrToThisComputer) {
    const struct {
        const char* Url;
        bool Allowed;
    } cases[] = {
        {"https://sync.example.com/api/v11/", true},
        {"HTTPS://sync.example.com:8443/", true},
        {"https://10.0.0.5/", true},
        {"http://127.0.0.1:8086/", true},
        {"http://127.9.8.7/", true},
        {"http://localhost:8086/", true},
        {"http://LOCALHOST/", true},
        {"http://[::1]:8086/", true},
        {"http://sync.example.com:8086/", false},
        {"http://10.0.0.5/", false},
        {"http://128.0.0.1/", false},
        {"http://127.0.0.1.example.com/", false},
        {"http://localhost.example.com/", false},
        {"http://127.0.0.1@sync.example.com/", false},
        {"http://[::2]/", false},
        {"ftp://127.0.0.1/", false},
        {"file:///tmp/x", false},
        {"", false},
        {"127.0.0.1:8086", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Url);
        EXPECT_EQ(SecretMayGoTo(QString::fromLatin1(c.Url)), c.Allowed);
    }
}

TEST_F(TSyncFixture, ToAnotherHostOverPlainHttpNoRequestCarryingTheDigestGoesOut) {
    // The refusal comes before any name lookup, so no network is needed to see it.
    Ctx.Endpoint.ApiBase = QStringLiteral("http://sync.example.com:8086/api/v11/");
    Ctx.Endpoint.SiteRoot = QStringLiteral("http://sync.example.com:8086/");
    addRow(QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF"), QStringLiteral("pending"), 0);
    using namespace NotesService;
    const TServiceEndpoint& e = Ctx.Endpoint;
    const QString id = QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF");
    for (const THttpRequest& r : {Upload(e, kCreds, {}, "d"), FullDownload(e, kCreds),
                                  SingleNote(e, kCreds, id), Delete(e, kCreds, id), Audio(e, kCreds, id)}) {
        SCOPED_TRACE(r.Url.toStdString());
        EXPECT_TRUE(r.CarriesSecret);
        const THttpResponse resp = HttpPerform(r);
        EXPECT_FALSE(resp.Ok);
        EXPECT_FALSE(resp.Error.isEmpty());
    }
    EXPECT_FALSE(BasicInfo(e).CarriesSecret);
    EXPECT_EQ(SyncEngine::RunUpload(*Db, Ctx, QString(), {}), 0);
    EXPECT_FALSE(SyncEngine::RunFullDownload(*Db, Ctx).Answered);
    EXPECT_EQ(column(id, QStringLiteral("commited")).toInt(), 0);
    EXPECT_TRUE(Server.requests().isEmpty());
}

TEST(SyncAccount, WorkersCopyTheAccountWhileItChangesAndNeverSeeHalfOfIt) {
    // Two accounts whose keys all differ; a copy that mixes them is torn.
    const TAccountKeys accounts[] = {
        {QStringLiteral("1"), QStringLiteral("digest-one"), QStringLiteral("one@example.com"),
         QStringLiteral("PC")},
        {QStringLiteral("22"), QStringLiteral("digest-two"), QStringLiteral("two@example.com"),
         QStringLiteral("PC")},
    };
    const auto set = [](const TAccountKeys& a) {
        std::lock_guard l(AppState().AccountLock);
        TNoteOptions& o = AppState().NoteOptions;
        o.FconfigUserID = a.UserID;
        o.FconfigUserPass = a.UserPass;
        o.FconfigUserName = a.UserName;
        o.FconfigPcID = a.PcID;
    };
    set(accounts[0]);
    std::atomic<bool> done{false};
    int torn = 0;
    int copies = 0;
    std::thread worker([&] {
        do {
            const TAccountKeys a = AppState().AccountSnapshot();
            const bool whole = (a.UserID == accounts[0].UserID && a.UserPass == accounts[0].UserPass &&
                                a.UserName == accounts[0].UserName) ||
                               (a.UserID == accounts[1].UserID && a.UserPass == accounts[1].UserPass &&
                                a.UserName == accounts[1].UserName);
            torn += whole ? 0 : 1;
            ++copies;
        } while (!done.load());
    });
    for (int i = 0; i < 20000; ++i)
        set(accounts[i % 2]);
    done = true;
    worker.join();
    set(TAccountKeys{});
    EXPECT_EQ(torn, 0);
    EXPECT_GT(copies, 0);
}

TEST(SyncForm, EveryByteOfACharacterOutsideAsciiIsEscaped) {
    const struct {
        const char* Value;
        QByteArray Encoded;
    } cases[] = {
        {"\u00C0", "%C3%80"}, // its second byte is 0x80
        {"\u0140", "%C5%80"}, {"\u20AC", "%E2%82%AC"},  {"\U0001F600", "%F0%9F%98%80"},
        {"\u00FF", "%C3%BF"}, {"a\u00C0b", "a%C3%80b"}, {"~", "~"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Value);
        const QByteArray body = FormBody({QStringLiteral("v=") + QString::fromUtf8(c.Value)});
        EXPECT_EQ(body, "v=" + c.Encoded);
        EXPECT_EQ(QString::fromUtf8(QByteArray::fromPercentEncoding(body.mid(2))),
                  QString::fromUtf8(c.Value));
    }
}

// ---- reply rules ---------------------------------------------------------------

TEST(SyncReplies, UploadAndDeleteRepliesAreReadExactly) {
    using namespace NotesService;
    struct TCase {
        bool Ok;
        QByteArray Body;
        TUploadReply Upload;
        TDeleteReply Delete;
    };
    const TCase cases[] = {
        {true, "0", TUploadReply::Stored, TDeleteReply::Confirmed},
        {true, "0 ", TUploadReply::Failed, TDeleteReply::Unconfirmed},
        {true, " 0", TUploadReply::Failed, TDeleteReply::Unconfirmed},
        {true, "-2", TUploadReply::CredentialsRejected, TDeleteReply::Unconfirmed},
        {true, "-1", TUploadReply::Failed, TDeleteReply::Confirmed},
        {true, "", TUploadReply::Failed, TDeleteReply::Unconfirmed},
        {true, "<html>", TUploadReply::Failed, TDeleteReply::Unconfirmed},
        {false, "0", TUploadReply::NoReply, TDeleteReply::Unconfirmed},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Body.toStdString());
        THttpResponse r;
        r.Ok = c.Ok;
        r.Body = c.Body;
        EXPECT_EQ(ReadUploadReply(r), c.Upload);
        EXPECT_EQ(ReadDeleteReply(r), c.Delete);
    }
}

TEST(SyncReplies, DownloadRepliesThatCarryNothingApplyNothing) {
    using namespace NotesService;
    struct TCase {
        QByteArray Body;
        bool Rejected;
        bool Answered;
        int Items;
    };
    const TCase cases[] = {
        {"-2", true, false, 0},
        {"   ", false, false, 0},
        {"not xml at all", false, true, 0},
        {"<?xml version=\"1.0\"?><ROOT><NOTES><NOTEITEM><ID>A</ID></NOTEITEM></NOTES></ROOT>", false, true,
         0},
        {notesDoc({}), false, true, 0},
        {"<NOTES><NOTEITEM>" + item("A", "a", "1") + "</NOTEITEM><OTHER/><NOTEITEM>" + item("B", "b", "1") +
             "</NOTEITEM></NOTES>",
         false, true, 2},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Body.toStdString());
        THttpResponse r;
        r.Ok = true;
        r.Body = c.Body;
        const TDownloadReply d = ReadFullDownloadReply(r);
        EXPECT_EQ(d.CredentialsRejected, c.Rejected);
        EXPECT_EQ(d.Items.size(), c.Items);
    }
    THttpResponse basic;
    basic.Ok = true;
    basic.Body = "<?xml version=\"1.0\"?><basicinfo><asyncserver> 10.0.0.7 </asyncserver></basicinfo>";
    EXPECT_EQ(ReadBasicInfoReply(basic), QStringLiteral("10.0.0.7"));
    basic.Body = "<other><asyncserver>10.0.0.7</asyncserver></other>";
    EXPECT_EQ(ReadBasicInfoReply(basic), QString());
}

// ---- upload worker ---------------------------------------------------------------

TEST_F(TSyncFixture, UploadSendsPendingRowsAndCommitsOnlyOnAnExactZero) {
    addRow(QStringLiteral("A"), QStringLiteral("a & b"), 0);
    addRow(QStringLiteral("B"), QStringLiteral("b"), QVariant());
    addRow(QStringLiteral("C"), QStringLiteral("c"), 1);
    addRow(QStringLiteral("E"), QString(), 0); // empty text is never uploaded

    int attempts = 0;
    Server.setHandler([&](const TRecordedRequest&) {
        TCannedReply r;
        r.Body = ++attempts < 3 ? QByteArray("0 ") : QByteArray("0");
        return r;
    });
    QList<int> pauses;
    Ctx.Pause = [&](int ms) {
        pauses.append(ms);
        return true;
    };
    EXPECT_EQ(SyncEngine::RunUpload(*Db, Ctx, QString(), {}), 2);
    EXPECT_EQ(attempts, 3);
    EXPECT_EQ(pauses, (QList<int>{10000, 10000}));
    const QString xml = decodeForm(Server.requests().constLast().Body);
    EXPECT_TRUE(xml.contains(QStringLiteral("<mynote><![CDATA[a & b]]></mynote>")));
    EXPECT_FALSE(xml.contains(QStringLiteral("<id>C</id>")));
    EXPECT_FALSE(xml.contains(QStringLiteral("<id>E</id>")));
    EXPECT_EQ(column(QStringLiteral("A"), QStringLiteral("commited")).toInt(), 1);
    EXPECT_EQ(column(QStringLiteral("B"), QStringLiteral("commited")).toInt(), 1);
    EXPECT_EQ(column(QStringLiteral("E"), QStringLiteral("commited")).toInt(), 0);
}

TEST_F(TSyncFixture, AListTooLongForOneRequestGoesUpInPartsAndEveryRowIsCommitted) {
    // About 6 MiB of document: more than one request may carry. Every row has
    // a revision of its own, so a row matched against another part's revision
    // would stay pending.
    const int count = 2500;
    {
        TTransaction tr(*Db);
        for (int i = 0; i < count; ++i) {
            addRow(QStringLiteral("N%1").arg(i),
                   QStringLiteral("%1 ").arg(i) + QString(2000, QLatin1Char('x')), 0);
            Db->Exec(QStringLiteral("update notes set rev=? where id=?"),
                     {i * 3 + 1, QStringLiteral("N%1").arg(i)});
        }
        tr.Commit();
    }
    reply("0");
    EXPECT_EQ(SyncEngine::RunUpload(*Db, Ctx, QString(), {}), count);
    const QList<TRecordedRequest> sent = Server.requests();
    ASSERT_GE(sent.size(), 2);
    int items = 0;
    for (const TRecordedRequest& r : sent) {
        EXPECT_LE(r.Body.size(), 5 << 20);
        items += int(decodeForm(r.Body).count(QStringLiteral("<id>N")));
    }
    EXPECT_EQ(items, count);
    EXPECT_EQ(Db->Select(QStringLiteral("select count(*) from notes where commited=1")).Rows[0][0].toInt(),
              count);
}

TEST_F(TSyncFixture, UploadGivesUpAfterSixAttemptsAndAsksForSignInOnRefusal) {
    addRow(QStringLiteral("A"), QStringLiteral("a"), 0);
    reply("-2");
    EXPECT_EQ(SyncEngine::RunUpload(*Db, Ctx, QStringLiteral("A"), {utNote}), 0);
    EXPECT_EQ(LoginFailures, 6);
    EXPECT_EQ(Server.requests().size(), 6);
    EXPECT_EQ(column(QStringLiteral("A"), QStringLiteral("commited")).toInt(), 0);

    // Not signed in: nothing goes out at all.
    Ctx.Credentials = [] { return TServiceCredentials{}; };
    EXPECT_EQ(SyncEngine::RunUpload(*Db, Ctx, QString(), {}), 0);
    EXPECT_EQ(Server.requests().size(), 6);
}

TEST_F(TSyncFixture, EachRowGoesUpWithTheFieldsItChangedWhateverAskedForTheUpload) {
    NoteRepository repo(*Db);
    addRow(QStringLiteral("A"), QStringLiteral("typed"), 1);
    addRow(QStringLiteral("B"), QStringLiteral("other"), 1);
    Db->Exec(QStringLiteral("update notes set unsent=0"));
    // A: a colour offline, then the text; B: a reminder only.
    ASSERT_TRUE(repo.SetBgColorIndex(QStringLiteral("A"), 3));
    std::optional<NoteRecord> a = repo.Find(QStringLiteral("A"));
    a->Note.NNote = QStringLiteral("typed more");
    ASSERT_TRUE(repo.SaveEdit(*a));
    ASSERT_TRUE(repo.SetReminder(QStringLiteral("B"), 1, QStringLiteral("when"), QString(), QString()));
    reply("0");
    EXPECT_EQ(SyncEngine::RunUpload(*Db, Ctx, QString(), {utNote}), 2);

    // One request per set of fields; a text not among them stays off the wire.
    QMap<QByteArray, QString> byFields;
    for (const TRecordedRequest& r : Server.requests()) {
        const qsizetype at = r.Target.indexOf("uploadfields=");
        ASSERT_GE(at, 0);
        byFields[r.Target.mid(at + 13, 20)] = decodeForm(r.Body);
    }
    ASSERT_EQ(byFields.size(), 2);
    const QString textAndColour = byFields.value("11000000000111111111");
    EXPECT_TRUE(textAndColour.contains(QStringLiteral("<mynote><![CDATA[typed more]]></mynote>")));
    EXPECT_TRUE(textAndColour.contains(QStringLiteral("<bgcolorindex>3</bgcolorindex>")));
    const QString reminder = byFields.value("00000001000111111111");
    EXPECT_TRUE(reminder.contains(QStringLiteral("<id>B</id>")));
    EXPECT_FALSE(reminder.contains(QStringLiteral("other")));
    for (const char* id : {"A", "B"}) {
        EXPECT_EQ(column(QString::fromLatin1(id), QStringLiteral("commited")).toInt(), 1);
        EXPECT_EQ(column(QString::fromLatin1(id), QStringLiteral("unsent")).toInt(), 0);
    }
}

TEST_F(TSyncFixture, AnEditMadeWhileTheUploadIsOnTheWayStaysPending) {
    addRow(QStringLiteral("A"), QStringLiteral("first"), 0);
    Server.setHandler([&](const TRecordedRequest&) {
        // The user saves again while the server is storing the first text.
        auto other = TDbConnection::Open(Db->path());
        NoteRepository repo(*other);
        std::optional<NoteRecord> note = repo.Find(QStringLiteral("A"));
        note->Note.NNote = QStringLiteral("second");
        EXPECT_TRUE(repo.SaveEdit(*note));
        TCannedReply r;
        r.Body = "0";
        return r;
    });
    EXPECT_EQ(SyncEngine::RunUpload(*Db, Ctx, QStringLiteral("A"), {utNote}), 1);
    EXPECT_EQ(column(QStringLiteral("A"), QStringLiteral("commited")).toInt(), 0);
    EXPECT_EQ(column(QStringLiteral("A"), QStringLiteral("mynote")).toString(), QStringLiteral("second"));
}

// ---- delete worker and its queue ---------------------------------------------------

TEST_F(TSyncFixture, AnUnconfirmedDeletionIsKeptAndSentWithTheNextUpload) {
    SyncStore::QueueDelete(*Db, nid(QStringLiteral("GONE")));
    reply("", 503);
    EXPECT_FALSE(SyncEngine::RunDelete(*Db, Ctx, nid(QStringLiteral("GONE"))));
    EXPECT_EQ(SyncStore::QueuedDeletes(*Db), QStringList{nid(QStringLiteral("GONE"))});

    // Queued, the note does not come back with a download that still lists it.
    reply(notesDoc({item("GONE", "old", "1"), item("KEEP", "k", "1")}));
    (void)SyncEngine::RunFullDownload(*Db, Ctx);
    EXPECT_EQ(column(nid(QStringLiteral("GONE")), QStringLiteral("id")).toString(),
              QStringLiteral("<no row>"));
    EXPECT_EQ(NewNotes.size(), 1);

    reply("-1"); // the server has no such note: settled too
    EXPECT_EQ(SyncEngine::RunUpload(*Db, Ctx, QString(), {}), 0);
    EXPECT_TRUE(SyncStore::QueuedDeletes(*Db).isEmpty());
    const TRecordedRequest del = Server.requests().constLast();
    EXPECT_TRUE(del.Target.endsWith("del_note.php"));
    EXPECT_TRUE(del.Body.startsWith("nid=" + nid(QStringLiteral("GONE")).toUtf8() + "&userid=42&"));
}

// ---- full download -----------------------------------------------------------

TEST_F(TSyncFixture, FullDownloadAppliesEachShowNoteRule) {
    addRow(nid(QStringLiteral("S0")), QStringLiteral("x"), 1);
    addRow(nid(QStringLiteral("MISSING")), QStringLiteral("x"), 1);
    addRow(nid(QStringLiteral("S1")), QStringLiteral("old"), 1);
    addRow(nid(QStringLiteral("S2")), QStringLiteral("mine"), 1);
    Db->Exec(QStringLiteral("update notes set form_x=77, istopmost=1 where id=?"),
             {nid(QStringLiteral("S1"))});
    reply(notesDoc({item("S0", "x", "0"), item("MISSING", "x", nullptr), item("S1", "new", "1", 3),
                    item("S2", "theirs", "2", 4), item("NEW2", "n2", "2"), item("DUP", "one", "1"),
                    item("DUP", "two", "1")}));
    const auto out = SyncEngine::RunFullDownload(*Db, Ctx);
    EXPECT_TRUE(out.Answered);
    EXPECT_EQ(Removed, 2);
    EXPECT_EQ(column(nid(QStringLiteral("S0")), QStringLiteral("id")).toString(), QStringLiteral("<no row>"));
    EXPECT_EQ(column(nid(QStringLiteral("MISSING")), QStringLiteral("id")).toString(),
              QStringLiteral("<no row>"));
    EXPECT_EQ(column(nid(QStringLiteral("S1")), QStringLiteral("mynote")).toString(), QStringLiteral("new"));
    EXPECT_EQ(column(nid(QStringLiteral("S1")), QStringLiteral("bgcolorindex")).toInt(), 3);
    EXPECT_EQ(column(nid(QStringLiteral("S1")), QStringLiteral("form_x")).toInt(), 77); // place stays local
    EXPECT_EQ(column(nid(QStringLiteral("S1")), QStringLiteral("istopmost")).toInt(), 1);
    EXPECT_EQ(column(nid(QStringLiteral("S2")), QStringLiteral("mynote")).toString(), QStringLiteral("mine"));
    EXPECT_EQ(column(nid(QStringLiteral("S2")), QStringLiteral("bgcolorindex")).toInt(), 4);
    EXPECT_EQ(column(nid(QStringLiteral("NEW2")), QStringLiteral("shownote")).toInt(), 2);
    EXPECT_EQ(column(nid(QStringLiteral("DUP")), QStringLiteral("mynote")).toString(), QStringLiteral("two"));
    ASSERT_EQ(NewNotes.size(), 2);
    EXPECT_EQ(NewNotes[0].NoteID, nid(QStringLiteral("NEW2")));
    EXPECT_EQ(NewNotes[1].NNote, QStringLiteral("one"));
    EXPECT_EQ(Changed, 1);

    // The same notes again change nothing and tell no window to reload.
    reply(notesDoc({item("S0", "x", "0"), item("S1", "new", "1", 3), item("S2", "theirs", "2", 4),
                    item("NEW2", "n2", "2"), item("DUP", "two", "1")}));
    Removed = Changed = 0;
    NewNotes.clear();
    (void)SyncEngine::RunFullDownload(*Db, Ctx);
    EXPECT_EQ(Removed + Changed + NewNotes.size(), 0);
}

TEST_F(TSyncFixture, APendingRowKeepsItsTextAndLookAgainstEveryDownload) {
    addRow(nid(QStringLiteral("P")), QStringLiteral("typed offline"), 0);
    addRow(nid(QStringLiteral("Q")), QStringLiteral("typed too"), QVariant());
    for (const QByteArray& doc : {notesDoc({item("P", "server", "1", 5), item("Q", "server", "1", 5)}),
                                  notesDoc({item("P", "server", "0"), item("Q", "server", nullptr)})}) {
        reply(doc);
        (void)SyncEngine::RunFullDownload(*Db, Ctx);
        EXPECT_EQ(column(nid(QStringLiteral("P")), QStringLiteral("mynote")).toString(),
                  QStringLiteral("typed offline"));
        EXPECT_EQ(column(nid(QStringLiteral("P")), QStringLiteral("bgcolorindex")).toInt(), 0);
        EXPECT_EQ(column(nid(QStringLiteral("Q")), QStringLiteral("mynote")).toString(),
                  QStringLiteral("typed too"));
    }
    reply(notesDoc({item("P", "server", "1", 5)}));
    SyncEngine::RunSingleNote(*Db, Ctx, nid(QStringLiteral("P")));
    EXPECT_EQ(column(nid(QStringLiteral("P")), QStringLiteral("mynote")).toString(),
              QStringLiteral("typed offline"));

    // Once committed, the single-note refresh takes the server's text and look.
    Db->Exec(QStringLiteral("update notes set commited=1 where id=?"), {nid(QStringLiteral("P"))});
    QList<TNoteItem> seen;
    SyncEngine::RunSingleNote(*Db, Ctx, nid(QStringLiteral("P")),
                              [&](const TNoteItem& n) { seen.append(n); });
    EXPECT_EQ(column(nid(QStringLiteral("P")), QStringLiteral("mynote")).toString(),
              QStringLiteral("server"));
    EXPECT_EQ(column(nid(QStringLiteral("P")), QStringLiteral("bgcolorindex")).toInt(), 5);
    EXPECT_EQ(seen.size(), 1);
    // A note without a row is not created by the refresh.
    reply(notesDoc({item("NOPE", "x", "1")}));
    SyncEngine::RunSingleNote(*Db, Ctx, nid(QStringLiteral("NOPE")));
    EXPECT_EQ(column(nid(QStringLiteral("NOPE")), QStringLiteral("id")).toString(),
              QStringLiteral("<no row>"));
}

TEST_F(TSyncFixture, APendingRowTakesFromDownloadsWhatItHasNotChanged) {
    NoteRepository repo(*Db);
    addRow(nid(QStringLiteral("P")), QStringLiteral("mine"), 1);
    Db->Exec(QStringLiteral("update notes set unsent=0"));
    ASSERT_TRUE(repo.SetBgColorIndex(nid(QStringLiteral("P")), 2));
    // The server has another text and colour: the colour waiting here stays,
    // the text changed elsewhere arrives.
    reply(notesDoc({item("P", "changed elsewhere", "1", 6)}));
    (void)SyncEngine::RunFullDownload(*Db, Ctx);
    EXPECT_EQ(column(nid(QStringLiteral("P")), QStringLiteral("mynote")).toString(),
              QStringLiteral("changed elsewhere"));
    EXPECT_EQ(column(nid(QStringLiteral("P")), QStringLiteral("bgcolorindex")).toInt(), 2);
    EXPECT_EQ(column(nid(QStringLiteral("P")), QStringLiteral("commited")).toInt(), 0);
    EXPECT_EQ(Changed, 1);
    // So does a single-note refresh.
    reply(notesDoc({item("P", "again", "1", 6)}));
    SyncEngine::RunSingleNote(*Db, Ctx, nid(QStringLiteral("P")));
    EXPECT_EQ(column(nid(QStringLiteral("P")), QStringLiteral("mynote")).toString(), QStringLiteral("again"));
    EXPECT_EQ(column(nid(QStringLiteral("P")), QStringLiteral("bgcolorindex")).toInt(), 2);
}

TEST_F(TSyncFixture, AServerWhoseStoreChangedGetsEveryNoteAgainBeforeAnythingIsTaken) {
    addRow(nid(QStringLiteral("A")), QStringLiteral("here"), 1);
    Db->Exec(QStringLiteral("update notes set unsent=0"));
    const auto doc = [](const char* store, int changes, const char* text) {
        QByteArray d = notesDoc({item("A", text, "1")});
        return d.replace("<NOTES>", QByteArray("<NOTES><STORE id=\"") + store + "\" changes=\"" +
                                        QByteArray::number(changes) + "\"/>");
    };
    struct TCase {
        QByteArray Doc;
        bool Changed;
        const char* Text; // what the row holds afterwards
    };
    const TCase cases[] = {
        {doc("s1", 10, "here"), false, "here"},   // the first word from a server is taken as it is
        {doc("s1", 12, "newer"), false, "newer"}, // the same store, further on
        {doc("s1", 11, "older"), true, "newer"},  // a restored copy: fewer changes than seen
        {doc("s2", 50, "other"), true, "newer"},  // another store altogether
        {notesDoc({item("A", "silent", "1")}), false, "silent"}, // a server that says nothing
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Doc.toStdString());
        reply(c.Doc);
        const SyncEngine::TDownloadOutcome out = SyncEngine::RunFullDownload(*Db, Ctx);
        EXPECT_EQ(out.ServerChanged, c.Changed);
        EXPECT_EQ(column(nid(QStringLiteral("A")), QStringLiteral("mynote")).toString(),
                  QString::fromLatin1(c.Text));
        if (c.Changed) {
            EXPECT_EQ(out.RowsMarked, 1);
            EXPECT_EQ(column(nid(QStringLiteral("A")), QStringLiteral("unsent")).toInt() & 0x7FF, 0x7FF);
        }
        // What went up is confirmed before the next case.
        Db->Exec(QStringLiteral("update notes set commited=1, unsent=0"));
    }
}

TEST_F(TSyncFixture, DownloadAsksForSignInOnRefusalAndAppliesNothingWithoutAnAnswer) {
    addRow(QStringLiteral("A"), QStringLiteral("a"), 1);
    reply("-2");
    (void)SyncEngine::RunFullDownload(*Db, Ctx);
    EXPECT_EQ(LoginFailures, 1);
    reply("", 500);
    EXPECT_FALSE(SyncEngine::RunFullDownload(*Db, Ctx).Answered);
    EXPECT_EQ(column(QStringLiteral("A"), QStringLiteral("mynote")).toString(), QStringLiteral("a"));
    EXPECT_TRUE(QDir(Ctx.AudioFolder).exists());
}

// ---- audio -----------------------------------------------------------------

TEST_F(TSyncFixture, AudioIsReplacedOnlyByACompleteReplyWithTheRightDigest) {
    const QByteArray good = "RIFF good recording";
    const QByteArray fresh = "RIFF newer recording";
    const QByteArray md5 = Md5Hex(fresh).toUtf8();
    const QByteArray v1 = nid(QStringLiteral("V1")).toUtf8();
    const QByteArray v2 = nid(QStringLiteral("V2")).toUtf8();
    auto audioItem = [&](const QByteArray& id) {
        return "<ID>" + id + "</ID><MyNote>v</MyNote><NoteType>1</NoteType><shownote>1</shownote>" +
               "<FileMd5>" + md5 + "</FileMd5>";
    };
    QDir().mkpath(Ctx.AudioFolder);
    testenv::writeFile(Ctx.AudioFolder + nid(QStringLiteral("V1")), good);
    QList<QByteArray> order;
    QByteArray served = "truncated";
    int status = 200;
    Server.setHandler([&](const TRecordedRequest& r) {
        TCannedReply c;
        if (r.Target.contains("downloadfiles.php")) {
            order.append(QUrl(QString::fromUtf8(r.Target)).query().section(QLatin1Char('='), -1).toUtf8());
            c.Body = served;
            c.Status = status;
        } else {
            c.Body = notesDoc({audioItem(v1), audioItem(v2)});
        }
        return c;
    });
    (void)SyncEngine::RunFullDownload(*Db, Ctx);
    EXPECT_EQ(order, (QList<QByteArray>{v2, v1})); // last queued first
    EXPECT_EQ(testenv::readFile(Ctx.AudioFolder + nid(QStringLiteral("V1"))), good);
    EXPECT_FALSE(QFile::exists(Ctx.AudioFolder + nid(QStringLiteral("V2"))));

    served = fresh;
    status = 404;
    (void)SyncEngine::RunFullDownload(*Db, Ctx);
    EXPECT_EQ(testenv::readFile(Ctx.AudioFolder + nid(QStringLiteral("V1"))), good);

    status = 200;
    order.clear();
    (void)SyncEngine::RunFullDownload(*Db, Ctx);
    EXPECT_EQ(testenv::readFile(Ctx.AudioFolder + nid(QStringLiteral("V1"))), fresh);
    EXPECT_EQ(testenv::readFile(Ctx.AudioFolder + nid(QStringLiteral("V2"))), fresh);
    // A digest that matches is not fetched again.
    order.clear();
    (void)SyncEngine::RunFullDownload(*Db, Ctx);
    EXPECT_TRUE(order.isEmpty());
    EXPECT_EQ(QDir(Ctx.AudioFolder).entryList(QDir::Files).size(), 2); // no temporary files left
}

TEST_F(TSyncFixture, ServerItemsWhoseIdIsNotANoteIdAreSkippedAndNoFileIsWritten) {
    // Deep enough that every way out lands inside this test's own folder.
    Ctx.AudioFolder = Dir + QStringLiteral("/a/b/c/audio/");
    const QByteArray recording = "planted recording";
    const QByteArray md5 = Md5Hex(recording).toUtf8();
    const QByteArray good = "6F9619FF-8B86-D011-B42D-00C04FC964FF";
    const QList<QByteArray> hostile = {
        "",
        "..",
        "../../../../PLANTED",
        "../../../../config.ini",
        "../../../../brisel.mdb",
        "/",
        "..\\PLANTED",
        "a/b",
        good + "0",
        QByteArray(300, 'A'),
        "6F9619FF/8B86-D011-B42D-00C04FC964FF",
        "6F9619FF-8B86-D011-B42D-00C04FC964F/",
        "../audio/6F9619FF-8B86-D011-B42D-00C04FC964FF",
    };
    testenv::writeFile(Dir + QStringLiteral("/config.ini"), "[config]\nUserID=42\n");
    auto audioItem = [&](const QByteArray& id) {
        return "<ID>" + id + "</ID><MyNote>v</MyNote><NoteType>1</NoteType><shownote>1</shownote><FileMd5>" +
               md5 + "</FileMd5>";
    };
    QList<QByteArray> items;
    for (const QByteArray& id : hostile)
        items.append(audioItem(id));
    items.append(audioItem(good));
    QList<QByteArray> fetched;
    Server.setHandler([&](const TRecordedRequest& r) {
        TCannedReply c;
        if (r.Target.contains("downloadfiles.php")) {
            fetched.append(r.Target.mid(r.Target.indexOf("&noteid=") + 8));
            c.Body = recording;
        } else if (r.Target.contains("get_single_note.php")) {
            c.Body = notesDoc(items.mid(0, hostile.size()));
        } else {
            c.Body = notesDoc(items);
        }
        return c;
    });
    const int rowsBefore = Db->Select(QStringLiteral("select count(*) from notes")).Rows[0][0].toInt();

    (void)SyncEngine::RunFullDownload(*Db, Ctx);
    ASSERT_EQ(NewNotes.size(), 1);
    EXPECT_EQ(NewNotes[0].NoteID, QString::fromLatin1(good));
    EXPECT_EQ(Db->Select(QStringLiteral("select count(*) from notes")).Rows[0][0].toInt(), rowsBefore + 1);
    EXPECT_EQ(fetched, QList<QByteArray>{good});

    // The single-note reply is read the same way: nothing from it is applied or fetched.
    QList<QString> seen;
    SyncEngine::RunSingleNote(*Db, Ctx, QString::fromLatin1(good),
                              [&seen](const TNoteItem& n) { seen.append(n.NoteID); });
    EXPECT_TRUE(seen.isEmpty());
    EXPECT_EQ(fetched, QList<QByteArray>{good});

    // The only file written is the good note's recording, in the audio folder.
    QStringList files;
    QDirIterator it(Dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = QDir(Dir).relativeFilePath(it.next());
        if (!file.startsWith(QLatin1String("brisel.mdb")))
            files.append(file);
    }
    files.sort();
    EXPECT_EQ(files, (QStringList{QStringLiteral("a/b/c/audio/") + QString::fromLatin1(good),
                                  QStringLiteral("config.ini")}));
    EXPECT_EQ(testenv::readFile(Dir + QStringLiteral("/config.ini")), "[config]\nUserID=42\n");
}

// ---- the main window drives the workers ----------------------------------------

namespace {

// Records the messages a note window gets.
class TListeningNote : public QObject {
public:
    explicit TListeningNote(QList<int>* log) : FLog(log) {}
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == WM_UPDATINGBEGIN || e->type() == WM_UPDATINGEND || e->type() == WM_RELOADNOTE ||
            e->type() == WM_CHECKNOTEEXISTS)
            FLog->append(int(e->type()));
        return false;
    }

private:
    QList<int>* FLog;
};

} // namespace

TEST(SyncMainWindow, UploadThenDownloadOpensNewNotesBetweenTheUpdatingMessages) {
    TLoopbackHttpServer server;
    // Counted on the server's thread, read on this one.
    std::atomic<int> downloads{0};
    server.setHandler([&](const TRecordedRequest& r) {
        TCannedReply c;
        if (r.Target.contains("get_notes.php")) {
            ++downloads;
            c.Body = notesDoc({item("FROM-ELSEWHERE", "hello there", "1")});
            c.DelayMs = 100;
        } else {
            c.Body = "0";
        }
        return c;
    });
    const testenv::TProgramSetup s = testenv::MakeProgramSetup();
    QDir().mkpath(s.DataFolder());
    testenv::writeFile(
        s.DataFolder() + QStringLiteral("config.ini"),
        "[config]\nUserID=42\nUserPass=0123456789abcdef0123456789abcdef\nPcID=PC-1\nUserName=ann\n"
        "Server=" +
            server.baseUrl().toUtf8() + "\n");
    TFmMain main(s.Env());
    QString error;
    ASSERT_TRUE(main.Startup(&error)) << error.toStdString();
    main.tmrLoadNotes->stop();
    QList<int> log;
    TListeningNote listener(&log);
    TFmNote note(main.NoteContext());
    note.installEventFilter(&listener);

    NoteStore::InsertFromShell(main.Db(), QStringLiteral("MINE"), 10, 10);
    main.Db().Exec(QStringLiteral("update notes set mynote='typed', commited=0 where id='MINE'"));
    QList<std::tuple<QString, int, bool>> finished;
    QObject::connect(&main, &TFmMain::UploadFinished, [&](const QString& id, int n, bool notify) {
        finished.append({id, n, notify});
    });
    main.StartUploadWorker(
        NoteItemFromRow(main.Db().Select(QStringLiteral("select * from notes where id='MINE'")), 0), {utNote},
        true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !log.isEmpty() && log.constLast() == WM_UPDATINGEND; }, 10000));
    ASSERT_EQ(finished.size(), 1);
    EXPECT_EQ(finished[0], std::make_tuple(QStringLiteral("MINE"), 1, true));
    EXPECT_EQ(log.constFirst(), WM_UPDATINGBEGIN);
    EXPECT_EQ(downloads.load(), 1);
    bool opened = false;
    for (TFmNote* n : TFmMain::NoteWindows())
        opened = opened || n->NoteId() == nid(QStringLiteral("FROM-ELSEWHERE"));
    EXPECT_TRUE(opened);

    // Requests made while one runs are one download after it: none is lost.
    main.GetNotesFromSrv();
    main.GetNotesFromSrv();
    main.GetNotesFromSrv();
    ASSERT_TRUE(QTest::qWaitFor([&] { return downloads == 3 && !AppState().DownloadRunning; }, 10000));
    QTest::qWait(200);
    EXPECT_EQ(downloads.load(), 3);

    // While a note is being edited, an upload is not followed by a download.
    AppState().NoteEditing = true;
    // The ten-minute tick, once: the upload of every pending row.
    QTimer* upload = main.Sync()->UploadTimer();
    QObject::connect(upload, &QTimer::timeout, upload, &QTimer::stop);
    upload->setInterval(1);
    upload->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.size() == 2; }, 10000));
    EXPECT_EQ(finished[1], std::make_tuple(QString(), 0, true)); // nothing was pending any more
    AppState().NoteEditing = false;
    QTest::qWait(200);
    EXPECT_EQ(downloads.load(), 3);
    main.Shutdown();
}

// ---- https -----------------------------------------------------------------------

namespace {

// A TLS server on loopback whose certificate is made for this run: no CA that the
// system trusts has signed it, so only a client told to trust it may talk to it.
class TSelfSignedTlsServer {
public:
    explicit TSelfSignedTlsServer(const QString& dir)
        : FCert(dir + QStringLiteral("/cert.pem")), FKey(dir + QStringLiteral("/key.pem")) {}
    ~TSelfSignedTlsServer() {
        FServer.kill();
        FServer.waitForFinished(5000);
    }

    [[nodiscard]] bool start() {
        QProcess req;
        req.setStandardOutputFile(QProcess::nullDevice());
        req.setStandardErrorFile(QProcess::nullDevice());
        req.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-keyout"), FKey,
                   QStringLiteral("-out"), FCert, QStringLiteral("-days"), QStringLiteral("1"),
                   QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                   QStringLiteral("subjectAltName=IP:127.0.0.1")});
        if (!req.waitForFinished(60000) || req.exitStatus() != QProcess::NormalExit || req.exitCode() != 0)
            return false;
        {
            QTcpServer probe;
            if (!probe.listen(QHostAddress::LocalHost, 0))
                return false;
            FPort = probe.serverPort();
        }
        FServer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        FServer.start(QStringLiteral("openssl"),
                      {QStringLiteral("s_server"), QStringLiteral("-accept"),
                       QStringLiteral("127.0.0.1:%1").arg(FPort), QStringLiteral("-cert"), FCert,
                       QStringLiteral("-key"), FKey, QStringLiteral("-www"), QStringLiteral("-quiet")});
        for (int i = 0; i < 100; ++i) {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, FPort);
            if (s.waitForConnected(100))
                return true;
            QThread::msleep(50);
        }
        return false;
    }
    [[nodiscard]] QString root() const { return QStringLiteral("https://127.0.0.1:%1/").arg(FPort); }
    [[nodiscard]] const QString& certificate() const { return FCert; }

private:
    QString FCert;
    QString FKey;
    QProcess FServer;
    quint16 FPort = 0;
};

} // namespace

TEST(SyncHttps, ACertificateNobodyTrustsIsATransportFailureAndOneNamedAsCaIsTrusted) {
    TSelfSignedTlsServer tls(testenv::freshDir(QStringLiteral("tls")));
    ASSERT_TRUE(tls.start());

    THttpRequest r;
    r.Url = tls.root();
    r.ConnectTimeoutMs = 5000;
    r.ReadTimeoutMs = 5000;
    const THttpResponse refused = HttpPerform(r);
    EXPECT_FALSE(refused.Ok);
    EXPECT_EQ(refused.Status, 0);
    EXPECT_FALSE(refused.Error.isEmpty());

    r.CaFile = tls.certificate();
    const THttpResponse trusted = HttpPerform(r);
    EXPECT_TRUE(trusted.Ok) << trusted.Error.toStdString();
    EXPECT_EQ(trusted.Status, 200);
}

// Each part of the program builds its requests from its own row of one table: a
// request that forgot the server's CA file would fail against a self-hosted https
// server, and one that sent a secret it should not would leak it.
TEST(ServiceRequests, EveryRequestGoesToTheServerTrustingItsOwnCaWithTheCallersSetUp) {
    const QString ca = QStringLiteral("/etc/zuvo-test/own-ca.pem");
    SetServerRoot(QStringLiteral("https://notes.example.org/"));
    SetServerCAFile(ca);
    const TServiceEndpoint e = TServiceEndpoint::Configured();
    const TServiceCredentials c{QStringLiteral("7"), QStringLiteral("digest"), QStringLiteral("PC"),
                                QStringLiteral("me")};
    struct TCase {
        const char* Name;
        THttpRequest Request;
        bool CarriesSecret;
        qsizetype MaxBodyBytes; // 0: documents and audio of any length
    };
    const TCase cases[] = {
        {"sign in",
         SignInRequest(QStringLiteral("me@example.org"), QStringLiteral("pw"), QStringLiteral("1")), true,
         kTextReplyLimit},
        {"register", RegisterRequest(TRegisterInput{}, QString()), true, kTextReplyLimit},
        {"page", DownloadPageRequest(QStringLiteral("7")), false, kPageReplyLimit},
        {"update history",
         UpdateHistoryRequest(QStringLiteral("7"), QStringLiteral("d"), QStringLiteral("N")), true,
         kPageReplyLimit},
        {"adverts", AdRequest(1033, QStringLiteral("zn"), QStringLiteral("1")), false, kTextReplyLimit},
        {"feedback",
         FeedbackRequest(QStringLiteral("me"), QString(), QStringLiteral("hi"), QStringLiteral("zn")), false,
         kTextReplyLimit},
        {"upload", NotesService::Upload(e, c, TUploadFields{}, "<NoteList/>"), true, 0},
        {"full download", NotesService::FullDownload(e, c), true, 0},
        {"single note", NotesService::SingleNote(e, c, QStringLiteral("N")), true, 0},
        {"delete", NotesService::Delete(e, c, QStringLiteral("N")), true, 0},
        {"audio", NotesService::Audio(e, c, QStringLiteral("N")), true, 0},
        {"basic information", NotesService::BasicInfo(e), false, 0},
    };
    for (const TCase& t : cases) {
        SCOPED_TRACE(t.Name);
        EXPECT_TRUE(t.Request.Url.startsWith(ServerRoot())) << t.Request.Url.toStdString();
        EXPECT_EQ(t.Request.CaFile, ca);
        EXPECT_FALSE(t.Request.UserAgent.isEmpty());
        EXPECT_GT(t.Request.ConnectTimeoutMs, 0);
        EXPECT_GT(t.Request.ReadTimeoutMs, 0);
        EXPECT_EQ(t.Request.CarriesSecret, t.CarriesSecret);
        EXPECT_EQ(t.Request.MaxBodyBytes, t.MaxBodyBytes);
    }
    SetServerCAFile(QString());
    SetServerRoot(QString());
}

TEST_F(TSyncFixture, AnUploadToAServerWithAnUntrustedCertificateLeavesTheRowPending) {
    TSelfSignedTlsServer tls(Dir);
    ASSERT_TRUE(tls.start());
    Ctx.Endpoint.ApiBase = tls.root() + QStringLiteral("api/v11/");
    Ctx.Endpoint.SiteRoot = tls.root();
    addRow(QStringLiteral("A"), QStringLiteral("typed offline"), 0);

    EXPECT_EQ(SyncEngine::RunUpload(*Db, Ctx, QString(), {}), 0);
    EXPECT_EQ(column(QStringLiteral("A"), QStringLiteral("commited")).toInt(), 0);
    EXPECT_EQ(column(QStringLiteral("A"), QStringLiteral("mynote")).toString(),
              QStringLiteral("typed offline"));
    EXPECT_EQ(LoginFailures, 0);
}

TEST(SyncMainWindow, ANoteTheServerRefusesForItsSizeSaysSoUntilItGoesUp) {
    testenv::TStartedMain started;
    ASSERT_TRUE(started.Error.isEmpty()) << started.Error.toStdString();
    TFmMain& main = *started.Main;
    main.tmrLoadNotes->stop();
    TFmNote* note = main.Windows().CreateNew(QString());
    ASSERT_NE(note, nullptr);
    const QString id = note->NoteId();
    EXPECT_FALSE(note->SyncRefused());

    emit main.Sync()->RowTooLarge(id);
    EXPECT_TRUE(note->SyncRefused());
    EXPECT_EQ(note->toolTip(), main.Language()->FmNotesyncTooLarge_Hint());
    EXPECT_FALSE(note->toolTip().isEmpty());

    // Another note going up changes nothing; this one going up clears the hint.
    emit main.Sync()->UploadFinished(QStringLiteral("ANOTHER"), 1, true);
    EXPECT_TRUE(note->SyncRefused());
    emit main.Sync()->UploadFinished(id, 1, true);
    EXPECT_FALSE(note->SyncRefused());
    EXPECT_TRUE(note->toolTip().isEmpty());
}
