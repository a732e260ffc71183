// The notes web service spoken as the client speaks it: the client's own
// document writer, URL encoder, form encoder and notes reader against the
// server's endpoints, on each kind of database.

#include "ServerTestSupport.h"

#include "exchange/uNotesXml.h"
#include "net/uHttpClient.h"
#include "server/store/uServerStore.h"
#include "shared/uUrlEncoding.h"

#include <QStringList>
#include <QUrl>
#include <atomic>
#include <gtest/gtest.h>
#include <map>
#include <thread>

using namespace servertest;

namespace {

const QStringList kUploadColumns = {
    "id",          "mynote",    "form_x",     "form_y",       "form_w",     "form_h",      "form_trans",
    "fontcolor",   "fontsize",  "fontname",   "fontbold",     "alerttype",  "alertvalue1", "alertvalue2",
    "alertvalue3", "istopmost", "autoheight", "bgcolorindex", "showaslist", "filemd5",     "notetype"};

using TRow = std::map<QString, QVariant>;

// A row of the client's pending-notes select: what a new note holds, changed by `values`.
QVector<QVariant> clientRow(const TRow& values) {
    TRow row = {{"form_x", 100},     {"form_y", 100},   {"form_w", 220},  {"form_h", 100},
                {"form_trans", 160}, {"fontcolor", 0},  {"fontsize", 9},  {"fontname", "Tahoma"},
                {"fontbold", 0},     {"alerttype", 0},  {"istopmost", 0}, {"autoheight", 0},
                {"bgcolorindex", 0}, {"showaslist", 0}, {"notetype", 0}};
    for (const auto& [k, v] : values)
        row[k] = v;
    QVector<QVariant> out;
    for (const QString& c : kUploadColumns)
        out.append(row.count(c) ? row[c] : QVariant());
    return out;
}

std::string uploadBody(const std::vector<TRow>& notes) {
    TRowSet rows;
    rows.Open = true;
    rows.Columns = kUploadColumns;
    for (const TRow& n : notes)
        rows.Rows.append(clientRow(n));
    return UrlEncode(NotesToXml(rows).toUtf8()).toStdString();
}

std::string form(const QList<QString>& lines) {
    return FormBody(lines).toStdString();
}

// Versions listed on a history page: one table row each after the heading.
std::size_t historyRows(const std::string& page) {
    std::size_t rows = 0;
    for (std::size_t at = page.find("<tr><td>"); at != std::string::npos; at = page.find("<tr><td>", at + 1))
        ++rows;
    return rows;
}

// One signed-in computer of a user, sending what the client's workers send.
class TDevice {
public:
    TDevice(std::string root, std::int64_t user, std::string password, std::string pcid)
        : FRoot(std::move(root)), FUser(std::to_string(user)), FPass(Md5(password)), FPc(std::move(pcid)) {}

    [[nodiscard]] std::string creds() const {
        return "userid=" + FUser + "&userpass=" + FPass + "&pcid=" + FPc;
    }
    [[nodiscard]] QList<QString> credLines() const {
        return {"userid=" + QString::fromStdString(FUser), "userpass=" + QString::fromStdString(FPass),
                "pcid=" + QString::fromStdString(FPc)};
    }

    TReply upload(const std::vector<TRow>& notes, const std::string& fields = std::string(20, '1')) const {
        return Post(api() + "update_note.php?" + creds() + "&uploadfields=" + fields + "&os=Windows",
                    uploadBody(notes));
    }
    TReply uploadRaw(const std::string& body, const std::string& fields = std::string(20, '1')) const {
        return Post(api() + "update_note.php?" + creds() + "&uploadfields=" + fields + "&os=Windows", body);
    }
    TReply getNotes() const { return Post(api() + "get_notes.php?" + creds(), form(credLines())); }
    [[nodiscard]] QList<TNoteItem> notes() const {
        const TReply r = getNotes();
        EXPECT_EQ(r.Status, 200);
        return ReadNotesDocument(QByteArray::fromStdString(r.Body));
    }
    [[nodiscard]] std::optional<TNoteItem> note(const QString& id) const {
        for (const TNoteItem& n : notes())
            if (n.NoteID == id)
                return n;
        return std::nullopt;
    }
    TReply getSingle(const std::string& id) const {
        QList<QString> lines = credLines();
        lines.append("noteid=" + QString::fromStdString(id));
        return Post(api() + "get_single_note.php?" + creds() + "&noteid=" + id, form(lines));
    }
    TReply del(const std::string& id) const {
        return Post(api() + "del_note.php",
                    form({"nid=" + QString::fromStdString(id), "userid=" + QString::fromStdString(FUser),
                          "userpass=" + QString::fromStdString(FPass), "username=someone@example.com"}));
    }
    TReply history(const std::string& id) const {
        return Post(FRoot + "update_his.php", "userid=" + FUser + "&userpass=" + FPass + "&noteid=" + id);
    }
    TReply audio(const std::string& id) const {
        return Get(api() + "downloadfiles.php?" + creds() + "&noteid=" + id);
    }

private:
    [[nodiscard]] std::string api() const { return FRoot + "api/v11/"; }
    std::string FRoot, FUser, FPass, FPc;
};

const QString kNoteA = "6F9619FF-8B86-D011-B42D-00C04FC964FF";
const QString kNoteB = "0B5E3C51-2D7A-4F0E-9C1B-7A4E2B9D1C33";

class NotesService : public TStoreTest {
protected:
    TTestDatabase FDb{GetParam()};
    TTestServer FServer{FDb.location()};
    std::int64_t FUser = FServer.addUser("ann@example.com", "secret-1");
    TDevice FPc1{FServer.root(), FUser, "secret-1", "11111111-1111-1111-1111-111111111111"};
    TDevice FPc2{FServer.root(), FUser, "secret-1", "22222222-2222-2222-2222-222222222222"};
};

TEST_P(NotesService, UploadedNoteComesBackWithEveryAttribute) {
    const QString text = QString::fromUtf8("Line 1\r\nLine 2 & <b> ]]> 'quoted'; drop table notes; -- 便签");
    const TReply up = FPc1.upload({{{"id", kNoteA},
                                    {"mynote", text},
                                    {"fontname", "A & B"},
                                    {"fontsize", 12},
                                    {"fontbold", 1},
                                    {"fontcolor", 255},
                                    {"bgcolorindex", 3},
                                    {"form_trans", 200},
                                    {"alerttype", 2},
                                    {"alertvalue1", "08:30"},
                                    {"showaslist", 2}}});
    EXPECT_EQ(up.Status, 200);
    EXPECT_EQ(up.Body, "0"); // exactly, no blank or line break

    const auto n = FPc2.note(kNoteA);
    ASSERT_TRUE(n);
    EXPECT_EQ(n->NNote, text);
    EXPECT_EQ(n->FontName, "A & B");
    EXPECT_EQ(n->FontSize, 12);
    EXPECT_EQ(n->FontBold, 1);
    EXPECT_EQ(n->FontColor, 255);
    EXPECT_EQ(n->BGColorIdx, 3);
    EXPECT_EQ(n->FmTrans, 200);
    EXPECT_EQ(n->AlertType, 2);
    EXPECT_EQ(n->AlertValue1, "08:30");
    EXPECT_EQ(n->ShowAsList, 2);
    EXPECT_EQ(n->ShowNote, 1);
    EXPECT_EQ(n->NoteType, 0);

    const TReply single = FPc2.getSingle(kNoteA.toStdString());
    const auto items = ReadNotesDocument(QByteArray::fromStdString(single.Body));
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0].NNote, text);
}

TEST_P(NotesService, ShutdownUploadWithoutFieldStringStoresEverything) {
    const TReply r = Post(FServer.root() + "api/v11/update_note.php?" + FPc1.creds(),
                          uploadBody({{{"id", kNoteA}, {"mynote", "at exit"}, {"bgcolorindex", 5}}}));
    EXPECT_EQ(r.Body, "0");
    const auto n = FPc2.note(kNoteA);
    ASSERT_TRUE(n);
    EXPECT_EQ(n->NNote, "at exit");
    EXPECT_EQ(n->BGColorIdx, 5);
}

TEST_P(NotesService, ChangesFromTwoDevicesToDifferentAttributesBothSurvive) {
    ASSERT_EQ(FPc1.upload({{{"id", kNoteA}, {"mynote", "first"}, {"bgcolorindex", 0}}}).Body, "0");
    // Each device changes one attribute of its own stale copy.
    ASSERT_EQ(FPc1.upload({{{"id", kNoteA}, {"mynote", "edited on pc1"}, {"bgcolorindex", 0}}},
                          "10000000000111111111")
                  .Body,
              "0");
    ASSERT_EQ(
        FPc2.upload({{{"id", kNoteA}, {"mynote", "first"}, {"bgcolorindex", 4}}}, "01000000000111111111")
            .Body,
        "0");
    const auto n = FPc1.note(kNoteA);
    ASSERT_TRUE(n);
    EXPECT_EQ(n->NNote, "edited on pc1");
    EXPECT_EQ(n->BGColorIdx, 4);
}

TEST_P(NotesService, FieldSetsApplyOnlyTheirAttributes) {
    struct TCase {
        const char* Fields;
        TRow Change;
        std::function<void(const TNoteItem&)> Check;
    };
    const std::vector<TCase> cases = {
        {"00111000000111111111",
         {{"fontname", "Courier"}, {"fontsize", 14}, {"fontbold", 1}, {"mynote", "ignored"}},
         [](const TNoteItem& n) {
             EXPECT_EQ(n.FontName, "Courier");
             EXPECT_EQ(n.FontSize, 14);
             EXPECT_EQ(n.FontBold, 1);
             EXPECT_EQ(n.NNote, "base");
         }},
        {"00000100000111111111",
         {{"form_trans", 90}, {"bgcolorindex", 6}},
         [](const TNoteItem& n) {
             EXPECT_EQ(n.FmTrans, 90);
             EXPECT_EQ(n.BGColorIdx, 0);
         }},
        {"00000001000111111111",
         {{"alerttype", 3},
          {"alertvalue1", "1"},
          {"alertvalue2", "2"},
          {"alertvalue3", "3"},
          {"fontcolor", 9}},
         [](const TNoteItem& n) {
             EXPECT_EQ(n.AlertType, 3);
             EXPECT_EQ(n.AlertValue3, "3");
             EXPECT_EQ(n.FontColor, 0);
         }},
        // Place, size and the audio columns come only with every field.
        {"01000000000111111111",
         {{"bgcolorindex", 4},
          {"form_x", 555},
          {"form_y", 444},
          {"form_w", 333},
          {"form_h", 222},
          {"notetype", 1},
          {"filemd5", "0123456789abcdef0123456789abcdef"},
          {"mynote", "stale"}},
         [](const TNoteItem& n) {
             EXPECT_EQ(n.BGColorIdx, 4);
             EXPECT_EQ(n.FmX, 100);
             EXPECT_EQ(n.FmY, 100);
             EXPECT_EQ(n.FmW, 220);
             EXPECT_EQ(n.FmH, 100);
             EXPECT_EQ(n.NoteType, 0);
             EXPECT_EQ(n.VoiceMd5, "");
             EXPECT_EQ(n.NNote, "base");
         }},
        {"00000000001111111111",
         {{"fontcolor", 65280}, {"showaslist", 5}},
         [](const TNoteItem& n) {
             EXPECT_EQ(n.FontColor, 65280);
             EXPECT_EQ(n.ShowAsList, 0);
         }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Fields);
        ASSERT_EQ(FPc1.upload({{{"id", kNoteA}, {"mynote", "base"}}}).Body, "0");
        TRow change = {{"id", kNoteA}, {"mynote", "base"}};
        for (const auto& [k, v] : c.Change)
            change[k] = v;
        ASSERT_EQ(FPc2.upload({change}, c.Fields).Body, "0");
        const auto n = FPc1.note(kNoteA);
        ASSERT_TRUE(n);
        c.Check(*n);
    }
    // A note new to the server takes only what a partial upload names, too.
    ASSERT_EQ(FPc2.upload({{{"id", kNoteB}, {"mynote", "unnamed"}, {"bgcolorindex", 2}, {"form_x", 555}}},
                          "01000000000111111111")
                  .Body,
              "0");
    const auto fresh = FPc1.note(kNoteB);
    ASSERT_TRUE(fresh);
    EXPECT_EQ(fresh->BGColorIdx, 2);
    EXPECT_EQ(fresh->FmX, 0);
    EXPECT_EQ(fresh->NNote, "");
}

TEST_P(NotesService, DeletedNoteReachesOtherDevicesAsHiddenAndAnEditRevivesIt) {
    ASSERT_EQ(FPc1.upload({{{"id", kNoteA}, {"mynote", "keep"}}, {{"id", kNoteB}, {"mynote", "bin"}}}).Body,
              "0");
    EXPECT_EQ(FPc1.del(kNoteB.toStdString()).Body, "0");
    EXPECT_EQ(FPc1.del("00000000-0000-0000-0000-000000000000").Body, "-1");

    const auto listed = FPc2.notes();
    ASSERT_EQ(listed.size(), 2);
    for (const TNoteItem& n : listed)
        EXPECT_EQ(n.ShowNote, n.NoteID == kNoteB ? 0 : 1) << n.NoteID.toStdString();

    // A device that had not heard of the deletion edits the note: the edit is kept.
    ASSERT_EQ(FPc2.upload({{{"id", kNoteB}, {"mynote", "still needed"}}}, "10000000000111111111").Body, "0");
    const auto revived = FPc1.note(kNoteB);
    ASSERT_TRUE(revived);
    EXPECT_EQ(revived->ShowNote, 1);
    EXPECT_EQ(revived->NNote, "still needed");
}

TEST_P(NotesService, HistoryListsEveryStoredVersion) {
    for (const char* text : {"one", "two <three>"})
        ASSERT_EQ(FPc1.upload({{{"id", kNoteA}, {"mynote", text}}}, "10000000000111111111").Body, "0");
    ASSERT_EQ(FPc1.del(kNoteA.toStdString()).Body, "0");

    const TReply page = FPc1.history(kNoteA.toStdString());
    EXPECT_EQ(page.Status, 200);
    EXPECT_NE(page.ContentType.find("text/html"), std::string::npos);
    const std::size_t rows = historyRows(page.Body);
    EXPECT_EQ(rows, 3u);
    EXPECT_NE(page.Body.find("two &lt;three&gt;"), std::string::npos);
    EXPECT_EQ(page.Body.find("<three>"), std::string::npos);
    EXPECT_NE(page.Body.find("deleted"), std::string::npos);

    const TReply stranger =
        Post(FServer.root() + "update_his.php",
             "userid=" + std::to_string(FUser) + "&userpass=" + Md5("wrong") + "&noteid=x");
    EXPECT_EQ(stranger.Body.find("two"), std::string::npos);
}

TEST_P(NotesService, LongHistoriesShowTheNewestVersions) {
    zsrv::TUploadNote up;
    up.Note.Values[zsrv::ncId] = kNoteA.toStdString();
    up.Present.set(zsrv::ncId);
    up.Present.set(zsrv::ncText);
    for (int i = 0; i < 305; ++i) {
        up.Note.Values[zsrv::ncText] = "version " + std::to_string(i);
        FServer.app().Store().StoreNotes(FUser, "PC", zsrv::TFieldSet{}, {up});
    }
    const TReply page = FPc1.history(kNoteA.toStdString());
    const std::size_t rows = historyRows(page.Body);
    EXPECT_EQ(rows, 300u);
    EXPECT_NE(page.Body.find("version 304"), std::string::npos);
    EXPECT_EQ(page.Body.find("version 4<"), std::string::npos);
    EXPECT_NE(page.Body.find("5 older versions"), std::string::npos);
}

TEST_P(NotesService, RejectedCredentialsGetMinusTwoAndChangeNothing) {
    ASSERT_EQ(FPc1.upload({{{"id", kNoteA}, {"mynote", "mine"}}}).Body, "0");
    const std::string api = FServer.root() + "api/v11/";
    const std::string user = std::to_string(FUser);
    const std::vector<std::pair<std::string, std::string>> credentials = {
        {user, Md5("wrong")}, {"999999", Md5("secret-1")}, {"abc", Md5("secret-1")}, {"", ""}, {user, ""}};
    for (const auto& [id, pass] : credentials) {
        SCOPED_TRACE(id + "/" + pass);
        const std::string q = "userid=" + id + "&userpass=" + pass + "&pcid=P";
        EXPECT_EQ(Post(api + "update_note.php?" + q + "&uploadfields=11111111111111111111&os=Windows",
                       uploadBody({{{"id", kNoteA}, {"mynote", "stolen"}}}))
                      .Body,
                  "-2");
        EXPECT_EQ(Post(api + "get_notes.php?" + q, q).Body, "-2");
        EXPECT_EQ(Post(api + "get_single_note.php?" + q + "&noteid=" + kNoteA.toStdString(), q).Body, "-2");
        EXPECT_EQ(Post(api + "del_note.php", "nid=" + kNoteA.toStdString() + "&" + q).Body, "-2");
        EXPECT_EQ(Get(api + "downloadfiles.php?" + q + "&noteid=" + kNoteA.toStdString()).Status, 403);
    }
    const auto n = FPc1.note(kNoteA);
    ASSERT_TRUE(n);
    EXPECT_EQ(n->NNote, "mine");
    EXPECT_EQ(n->ShowNote, 1);
}

TEST_P(NotesService, AnotherUserCanNeitherReadNorChangeTheNotes) {
    ASSERT_EQ(FPc1.upload({{{"id", kNoteA}, {"mynote", "private"}}}).Body, "0");
    const std::int64_t bob = FServer.addUser("bob@example.com", "bobs-pass");
    const TDevice bobPc(FServer.root(), bob, "bobs-pass", "33333333-3333-3333-3333-333333333333");

    EXPECT_TRUE(bobPc.notes().isEmpty());
    EXPECT_TRUE(
        ReadNotesDocument(QByteArray::fromStdString(bobPc.getSingle(kNoteA.toStdString()).Body)).isEmpty());
    EXPECT_EQ(bobPc.del(kNoteA.toStdString()).Body, "-1");
    EXPECT_EQ(bobPc.history(kNoteA.toStdString()).Body.find("private"), std::string::npos);
    // The same id under another account is another note.
    ASSERT_EQ(bobPc.upload({{{"id", kNoteA}, {"mynote", "bob's"}}}).Body, "0");
    EXPECT_EQ(FPc1.note(kNoteA)->NNote, "private");
    EXPECT_EQ(bobPc.note(kNoteA)->NNote, "bob's");
}

TEST_P(NotesService, MalformedUploadsAreRefusedWholeAndStoreNothing) {
    ASSERT_EQ(FPc1.upload({{{"id", kNoteA}, {"mynote", "safe"}}}).Body, "0");
    const std::string good = uploadBody({{{"id", kNoteA}, {"mynote", "changed"}}});
    const auto enc = [](const std::string& xml) {
        return UrlEncode(QByteArray::fromStdString(xml)).toStdString();
    };
    const std::string item = "<NoteItem><id>" + kNoteA.toStdString() + "</id><mynote>changed</mynote>";
    const auto repeat = [](const std::string& text, int times) {
        std::string out;
        for (int i = 0; i < times; ++i)
            out += text;
        return out;
    };
    const std::vector<std::pair<std::string, std::string>> bodies = {
        {"truncated", good.substr(0, good.size() / 2)},
        {"empty", ""},
        {"not xml", enc("hello")},
        {"other root", enc("<NOTES>" + item + "</NoteItem></NOTES>")},
        {"invalid utf-8", enc("<NoteList>" + item + "\xC3\x28</NoteItem></NoteList>")},
        {"entity",
         enc("<!DOCTYPE x [<!ENTITY e \"changed\">]><NoteList>" + item + "&e;</NoteItem></NoteList>")},
        {"number column", enc("<NoteList>" + item + "<fontsize>9pt</fontsize></NoteItem></NoteList>")},
        {"out of range", enc("<NoteList>" + item + "<fontsize>4294967296</fontsize></NoteItem></NoteList>")},
        {"second note without id",
         enc("<NoteList>" + item + "</NoteItem><NoteItem><mynote>x</mynote></NoteItem></NoteList>")},
        {"id with a blank", enc("<NoteList><NoteItem><id>a b</id></NoteItem></NoteList>")},
        // The documents carry no attributes; the parser's cost grows with the square of their number.
        {"attribute on the root", enc("<NoteList a=\"1\">" + item + "</NoteItem></NoteList>")},
        {"attribute on a column",
         enc("<NoteList>" + item + "<fontsize x='1' >9</fontsize></NoteItem></NoteList>")},
        {"nested too deeply",
         enc("<NoteList>" + item + repeat("<b>", 40) + repeat("</b>", 40) + "</NoteItem></NoteList>")},
    };
    for (const auto& [what, body] : bodies) {
        SCOPED_TRACE(what);
        const TReply r = FPc1.uploadRaw(body);
        EXPECT_EQ(r.Status, 200);
        EXPECT_EQ(r.Body, "-1");
    }
    for (const char* fields : {"1111", "1111111111111111111x", "111111111111111111111"}) {
        SCOPED_TRACE(fields);
        EXPECT_EQ(FPc1.uploadRaw(good, fields).Body, "-1");
    }
    const auto n = FPc2.note(kNoteA);
    ASSERT_TRUE(n);
    EXPECT_EQ(n->NNote, "safe");
}

TEST_P(NotesService, SixteenLevelsOfNestingAreTakenAndSeventeenRefused) {
    const auto nested = [](int levels) {
        // The document, the item and its column are three levels.
        std::string inner = "deep";
        for (int i = 3; i < levels; ++i)
            inner = "<b>" + inner + "</b>";
        const std::string xml = "<NoteList><NoteItem><id>" + kNoteA.toStdString() + "</id><mynote>" + inner +
                                "</mynote></NoteItem></NoteList>";
        return UrlEncode(QByteArray::fromStdString(xml)).toStdString();
    };
    EXPECT_EQ(FPc1.uploadRaw(nested(17)).Body, "-1");
    EXPECT_FALSE(FPc2.note(kNoteA));
    EXPECT_EQ(FPc1.uploadRaw(nested(16)).Body, "0");
    const auto n = FPc2.note(kNoteA);
    ASSERT_TRUE(n);
    EXPECT_EQ(n->NNote, "deep");
}

TEST_P(NotesService, BytesThatAreNotTextInIdsAndComputerIdsLoseNothing) {
    const std::string api = FServer.root() + "api/v11/";
    const std::string user = "userid=" + std::to_string(FUser) + "&userpass=" + Md5("secret-1");
    // A computer id that is not UTF-8 still stores the note (the id is only shown in the history).
    EXPECT_EQ(Post(api + "update_note.php?" + user + "&pcid=%FF%FE&uploadfields=11111111111111111111",
                   uploadBody({{{"id", kNoteA}, {"mynote", "kept"}}}))
                  .Body,
              "0");
    EXPECT_EQ(FPc1.note(kNoteA)->NNote, "kept");
    for (const std::string& id : std::vector<std::string>{"%FF%FE", "%00", "a%20b", std::string(65, 'x')}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(Post(api + "del_note.php", "nid=" + id + "&" + user).Body, "-1");
        EXPECT_EQ(Post(api + "get_single_note.php?" + user + "&pcid=P&noteid=" + id, "").Status, 200);
        EXPECT_EQ(Get(api + "downloadfiles.php?" + user + "&pcid=P&noteid=" + id).Status, 404);
        EXPECT_EQ(Post(FServer.root() + "update_his.php", user + "&noteid=" + id).Status, 200);
    }
    EXPECT_EQ(FPc1.note(kNoteA)->ShowNote, 1);
}

TEST_P(NotesService, IdsThatAreNotNoteIdsAreRefusedForUploadsAndDeletions) {
    ASSERT_EQ(FPc1.upload({{{"id", kNoteA}, {"mynote", "kept"}}}).Body, "0");
    const std::string good = kNoteA.toStdString();
    const std::vector<std::pair<const char*, std::string>> ids = {
        {"empty", ""},
        {"dot dot", ".."},
        {"parent path", "../../../../PLANTED"},
        {"settings file", "../config.ini"},
        {"slash", "/"},
        {"backslash", "..\\config.ini"},
        {"nul", std::string("6F9619FF-8B86-D011-B42D-00C04FC964F\0", 36)},
        {"too long", good + "0"},
        {"far too long", std::string(100, 'A')},
        {"valid-looking with a slash", "6F9619FF/8B86-D011-B42D-00C04FC964FF"},
        {"a note id behind a path", "../" + good},
    };
    for (const auto& [what, id] : ids) {
        SCOPED_TRACE(what);
        EXPECT_EQ(FPc1.upload({{{"id", QString::fromStdString(id)}, {"mynote", "planted"}}}).Body, "-1");
        // With a good note beside it the whole document is still refused.
        EXPECT_EQ(FPc1.upload({{{"id", kNoteA}, {"mynote", "changed"}},
                               {{"id", QString::fromStdString(id)}, {"mynote", "planted"}}})
                      .Body,
                  "-1");
        const std::string encoded = QUrl::toPercentEncoding(QString::fromStdString(id)).toStdString();
        const std::string api = FServer.root() + "api/v11/";
        EXPECT_EQ(Post(api + "del_note.php",
                       "nid=" + encoded + "&userid=" + std::to_string(FUser) + "&userpass=" + Md5("secret-1"))
                      .Body,
                  "-1");
    }
    const QList<TNoteItem> listed = FPc2.notes();
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed[0].NoteID, kNoteA);
    EXPECT_EQ(listed[0].NNote, "kept");
    EXPECT_EQ(listed[0].ShowNote, 1);
    // Other clients' ids in lower case are GUIDs all the same.
    const QString lower = kNoteB.toLower();
    EXPECT_EQ(FPc1.upload({{{"id", lower}, {"mynote", "lower"}}}).Body, "0");
    EXPECT_EQ(FPc1.del(lower.toStdString()).Body, "0");
}

TEST_P(NotesService, BodyOverTheLimitIsRefusedWithAnErrorStatusHoweverItIsSent) {
    zsrv::TServerConfig config = TTestServer::QuietConfig();
    config.MaxBodyBytes = 4096;
    TTestDatabase db(GetParam());
    TTestServer small(db.location(), config);
    const std::int64_t id = small.addUser("max@example.com", "pw-123456");
    const TDevice pc(small.root(), id, "pw-123456", "44444444-4444-4444-4444-444444444444");
    const TReply r = pc.upload({{{"id", kNoteA}, {"mynote", QString(5000, 'x')}}});
    EXPECT_EQ(r.Status, 413);
    EXPECT_NE(r.Body, "0");
    EXPECT_TRUE(pc.notes().isEmpty());

    // The limit holds however the body is framed: counted as chunks arrive,
    // and a compressed body (which the client never sends) is not taken at all.
    const std::string target = "/api/v11/update_note.php?userid=" + std::to_string(id) +
                               "&userpass=" + Md5("pw-123456") +
                               "&pcid=P&uploadfields=" + std::string(20, '1');
    const std::string big = uploadBody({{{"id", kNoteA}, {"mynote", QString(5000, 'x')}}});
    const std::string fits = uploadBody({{{"id", kNoteA}, {"mynote", "chunked"}}});
    const auto chunked = [](const std::string& body) {
        std::string out;
        for (std::size_t at = 0; at < body.size(); at += 1000) {
            const std::string piece = body.substr(at, 1000);
            char size[16];
            std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
            out += size + piece + "\r\n";
        }
        return out + "0\r\n\r\n";
    };
    const std::string head = "POST " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n" +
                             "Content-Type: application/x-www-form-urlencoded\r\n";
    EXPECT_EQ(
        RawRequest(small.app().HttpPort(), head + "Transfer-Encoding: chunked\r\n\r\n" + chunked(big)).Status,
        413);
    EXPECT_EQ(
        RawRequest(small.app().HttpPort(),
                   head + "Content-Encoding: gzip\r\nContent-Length: 10\r\n\r\n\x1f\x8b\x08\0\0\0\0\0\0\x03")
            .Status,
        415);
    EXPECT_TRUE(pc.notes().isEmpty());
    const TReply ok =
        RawRequest(small.app().HttpPort(), head + "Transfer-Encoding: chunked\r\n\r\n" + chunked(fits));
    EXPECT_EQ(ok.Status, 200);
    EXPECT_EQ(ok.Body, "0");
    EXPECT_EQ(pc.upload({{{"id", kNoteA}, {"mynote", "short"}}}).Body, "0");
}

TEST_P(NotesService, AudioRecordingIsServedWithItsDigestAndSurvivesStaleUploads) {
    ASSERT_EQ(FPc1.upload({{{"id", kNoteA}, {"mynote", "voice memo"}}}).Body, "0");
    const std::string bytes("ID3\x00\x01\x02 recording \xFF\xFE", 17);
    const std::string md5 = Md5(bytes);
    ASSERT_TRUE(FServer.app().Store().PutAudio(FUser, kNoteA.toStdString(), zsrv::TAudio{bytes, md5}));

    auto n = FPc2.note(kNoteA);
    ASSERT_TRUE(n);
    EXPECT_EQ(n->NoteType, 1);
    EXPECT_EQ(n->VoiceMd5.toStdString(), md5);
    const TReply file = FPc2.audio(kNoteA.toStdString());
    EXPECT_EQ(file.Status, 200);
    EXPECT_EQ(file.Body, bytes);
    EXPECT_EQ(FPc2.audio(kNoteB.toStdString()).Status, 404);
    // Another account naming the same note id hears nothing of the recording.
    const std::int64_t bob = FServer.addUser("bob@example.com", "bobs-pass");
    const TDevice bobPc(FServer.root(), bob, "bobs-pass", "33333333-3333-3333-3333-333333333333");
    const TReply stolen = bobPc.audio(kNoteA.toStdString());
    EXPECT_EQ(stolen.Status, 404);
    EXPECT_EQ(stolen.Body.find("recording"), std::string::npos);

    // A computer that uploads its whole row from before the recording came
    // must not turn the note back into a text note.
    ASSERT_EQ(
        FPc1.upload({{{"id", kNoteA}, {"mynote", "voice memo, renamed"}, {"notetype", 0}, {"filemd5", ""}}})
            .Body,
        "0");
    n = FPc2.note(kNoteA);
    EXPECT_EQ(n->NoteType, 1);
    EXPECT_EQ(n->VoiceMd5.toStdString(), md5);
    EXPECT_EQ(n->NNote, "voice memo, renamed");
}

TEST_P(NotesService, SeveralNotesInOneUploadAndRepeatedDownloadsAgree) {
    std::vector<TRow> many;
    for (int i = 0; i < 50; ++i)
        many.push_back({{"id", QString("00000000-0000-0000-0000-%1").arg(i, 12, 10, QChar('0'))},
                        {"mynote", QString("text %1").arg(i)}});
    ASSERT_EQ(FPc1.upload(many).Body, "0");
    const TReply first = FPc2.getNotes();
    EXPECT_EQ(ReadNotesDocument(QByteArray::fromStdString(first.Body)).size(), 50);
    EXPECT_EQ(FPc2.getNotes().Body, first.Body);
    const QString seventh = "00000000-0000-0000-0000-000000000007";
    ASSERT_EQ(FPc1.upload({{{"id", seventh}, {"mynote", "changed"}}}, "10000000000111111111").Body, "0");
    EXPECT_EQ(FPc2.note(seventh)->NNote, "changed");
}

TEST_P(NotesService, ConcurrentUploadsAreAllStoredEachAsItsOwnVersion) {
    constexpr int kThreads = 8;
    constexpr int kUploads = 15;
    std::vector<std::thread> threads;
    std::atomic<int> ok{0};
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            const TDevice pc(FServer.root(), FUser, "secret-1", "PC-" + std::to_string(t));
            for (int i = 0; i < kUploads; ++i) {
                // Every thread writes its own note and, with its own field, one shared note.
                const TRow own = {{"id", QString("00000000-0000-0000-0000-%1").arg(t, 12, 10, QChar('0'))},
                                  {"mynote", QString("v%1").arg(i)}};
                const TRow shared = {
                    {"id", kNoteA}, {"mynote", "shared"}, {"alertvalue1", QString::number(t)}};
                ok += pc.upload({own}).Body == "0";
                ok += pc.upload({shared}, "10000001000111111111").Body == "0";
            }
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(ok.load(), kThreads * kUploads * 2);
    const auto listed = FPc1.notes();
    EXPECT_EQ(listed.size(), kThreads + 1);
    for (const TNoteItem& n : listed) {
        if (n.NoteID != kNoteA) {
            EXPECT_EQ(n.NNote, QString("v%1").arg(kUploads - 1)) << n.NoteID.toStdString();
        }
    }
    const TReply page = FPc1.history(kNoteA.toStdString());
    const std::size_t rows = historyRows(page.Body);
    EXPECT_EQ(rows, std::size_t(kThreads * kUploads));
}

TEST_P(NotesService, ADownloadFromAnotherServerProcessSeesEveryChange) {
    if (GetParam() != "postgres")
        GTEST_SKIP() << "one SQLite file belongs to one server process";
    TTestServer second(FDb.location());
    const TDevice viaSecond(second.root(), FUser, "secret-1", "55555555-5555-5555-5555-555555555555");
    for (const char* text : {"one", "two", "three"}) {
        ASSERT_EQ(FPc1.upload({{{"id", kNoteA}, {"mynote", text}}}).Body, "0");
        const auto n = viaSecond.note(kNoteA);
        ASSERT_TRUE(n);
        EXPECT_EQ(n->NNote, text);
    }
    ASSERT_EQ(FPc1.del(kNoteA.toStdString()).Body, "0");
    EXPECT_EQ(viaSecond.note(kNoteA)->ShowNote, 0);
}

INSTANTIATE_TEST_SUITE_P(Stores, NotesService, ::testing::ValuesIn(AllStoreKinds()),
                         [](const auto& info) { return KindName(info.param); });

} // namespace
