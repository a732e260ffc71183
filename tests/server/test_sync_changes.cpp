// Changes that must survive the road to the other computers, each as a user
// meets it: the real sync engine on stores of their own against the real
// server, on each kind of database.

#include "ServerTestSupport.h"
#include "SyncSimulation.h"
#include "data/uNoteOptions.h"
#include "data/uNoteStore.h"
#include "server/store/uServerStore.h"
#include "support/TestEnv.h"
#include "sync/uShutdownUpload.h"

#include <QUuid>
#include <gtest/gtest.h>

using namespace servertest;
using syncsim::TComputer;

namespace {

class SyncChanges : public TStoreTest {
protected:
    SyncChanges() { start(std::make_unique<TTestDatabase>(GetParam()), true); }

    void start(std::unique_ptr<TTestDatabase> db, bool withAccount,
               zsrv::TServerConfig config = TTestServer::QuietConfig()) {
        FServers.push_back(std::make_unique<TTestServer>(db->location(), config));
        FDbs.push_back(std::move(db));
        if (withAccount)
            FUser = server().addUser("ann@example.com", "ann-pass");
    }
    TTestServer& server() { return *FServers.back(); }
    zsrv::TServerStore& store() { return server().app().Store(); }

    TComputer computer(const QString& name) {
        TComputer c =
            syncsim::MakeComputer(testenv::freshDir(QStringLiteral("changes-") + name), server().root(),
                                  FUser, Md5("ann-pass"), QStringLiteral("PC-") + name);
        c.Ctx.RowTooLarge = [this](const QString& id) { FTooLarge.append(id); };
        return c;
    }
    static void aim(TComputer& c, const std::string& root) {
        c.Ctx.Endpoint.ApiBase = QString::fromStdString(root) + QStringLiteral("api/v11/");
        c.Ctx.Endpoint.SiteRoot = QString::fromStdString(root);
    }

    static QString newNote(TComputer& c, const QString& text) {
        const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        EXPECT_TRUE(c.Notes->InsertFromShell(id, QPoint(10, 10)));
        setText(c, id, text);
        return id;
    }
    static void setText(TComputer& c, const QString& id, const QString& text) {
        std::optional<NoteRecord> r = c.Notes->Find(id);
        ASSERT_TRUE(r);
        r->Note.NNote = text;
        ASSERT_TRUE(c.Notes->SaveEdit(*r));
    }
    static NoteRecord row(TComputer& c, const QString& id) {
        std::optional<NoteRecord> r = c.Notes->Find(id);
        EXPECT_TRUE(r) << id.toStdString();
        return r.value_or(NoteRecord{});
    }
    static int up(TComputer& c, const QString& id = {}) { return SyncEngine::RunUpload(*c.Db, c.Ctx, id); }
    static SyncEngine::TDownloadOutcome down(TComputer& c) {
        return SyncEngine::RunFullDownload(*c.Db, c.Ctx);
    }
    zsrv::TServerNote onServer(const QString& id) {
        const auto n = store().Note(FUser, id.toStdString());
        EXPECT_TRUE(n) << id.toStdString();
        return n.value_or(zsrv::TServerNote{});
    }

    std::vector<std::unique_ptr<TTestDatabase>> FDbs;
    std::vector<std::unique_ptr<TTestServer>> FServers;
    std::int64_t FUser = 0;
    QStringList FTooLarge;
};

TEST_P(SyncChanges, ALookOrReminderSetOfflineSurvivesALaterTextEdit) {
    TComputer a = computer("a");
    const QString id = newNote(a, QStringLiteral("shopping"));
    ASSERT_EQ(up(a, id), 1);

    // Offline: colour, transparency and a reminder; the uploads they start fail.
    *a.Online = false;
    ASSERT_TRUE(a.Notes->SetBgColorIndex(id, 5));
    ASSERT_TRUE(a.Notes->SetTransparency(id, 90));
    ASSERT_TRUE(a.Notes->SetReminder(id, 1, QStringLiteral("2027-01-02 09:00"), QString(), QString()));
    EXPECT_EQ(up(a, id), 0);

    // Online again, the user edits the text: that upload takes everything waiting.
    *a.Online = true;
    setText(a, id, QStringLiteral("shopping: milk"));
    ASSERT_EQ(up(a, id), 1);
    (void)down(a);

    const NoteRecord here = row(a, id);
    EXPECT_EQ(here.Note.BGColorIdx, 5);
    EXPECT_EQ(here.Note.FmTrans, 90);
    EXPECT_EQ(here.Note.AlertValue1, QStringLiteral("2027-01-02 09:00"));
    EXPECT_FALSE(here.Pending);
    const zsrv::TServerNote there = onServer(id);
    EXPECT_EQ(there.Values[zsrv::ncText], "shopping: milk");
    EXPECT_EQ(there.Values[zsrv::ncBgColorIndex], "5");
    EXPECT_EQ(there.Values[zsrv::ncFormTrans], "90");
    EXPECT_EQ(there.Values[zsrv::ncAlertValue1], "2027-01-02 09:00");
}

TEST_P(SyncChanges, AReminderSetOnAnOutOfDateComputerLeavesTheNewerTextAlone) {
    TComputer a = computer("a");
    TComputer b = computer("b");
    const QString id = newNote(a, QStringLiteral("v1"));
    ASSERT_EQ(up(a, id), 1);
    (void)down(b);
    ASSERT_EQ(row(b, id).Note.NNote, QStringLiteral("v1"));

    // B is offline and keeps the old text; A writes the new one meanwhile.
    *b.Online = false;
    setText(a, id, QStringLiteral("v2 from A"));
    ASSERT_EQ(up(a, id), 1);
    ASSERT_TRUE(b.Notes->SetReminder(id, 2, QStringLiteral("08:30"), QString(), QString()));
    *b.Online = true;
    ASSERT_EQ(up(b, id), 1);

    EXPECT_EQ(onServer(id).Values[zsrv::ncText], "v2 from A");
    EXPECT_EQ(onServer(id).Values[zsrv::ncAlertValue1], "08:30");
    (void)down(a);
    (void)down(b);
    for (TComputer* c : {&a, &b}) {
        EXPECT_EQ(row(*c, id).Note.NNote, QStringLiteral("v2 from A"));
        EXPECT_EQ(row(*c, id).Note.AlertValue1, QStringLiteral("08:30"));
    }
}

TEST_P(SyncChanges, AnEmptiedNoteGoesUpAndKeepsTakingEditsFromElsewhere) {
    TComputer a = computer("a");
    TComputer b = computer("b");
    const QString id = newNote(a, QStringLiteral("draft"));
    ASSERT_EQ(up(a, id), 1);
    (void)down(b);

    setText(a, id, QString());
    ASSERT_EQ(up(a, id), 1);
    EXPECT_FALSE(row(a, id).Pending);
    (void)down(b);
    EXPECT_EQ(row(b, id).Note.NNote, QString());

    setText(b, id, QStringLiteral("written again on B"));
    ASSERT_EQ(up(b, id), 1);
    (void)down(a);
    EXPECT_EQ(row(a, id).Note.NNote, QStringLiteral("written again on B"));

    // A note made and never written still stays on this computer.
    const QString blank = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    ASSERT_TRUE(a.Notes->InsertFromShell(blank, QPoint(5, 5)));
    EXPECT_EQ(up(a), 0);
    EXPECT_FALSE(store().Note(FUser, blank.toStdString()));
}

TEST_P(SyncChanges, ANoteTooLongForTheServerStaysWaitingAndTheOthersGoOn) {
    zsrv::TServerConfig small = TTestServer::QuietConfig();
    small.MaxBodyBytes = 64 << 10;
    start(std::make_unique<TTestDatabase>(GetParam()), true, small);
    TComputer a = computer("a");
    QStringList small3;
    for (int i = 0; i < 3; ++i)
        small3.append(newNote(a, QStringLiteral("small %1").arg(i)));
    const QString big = newNote(a, QStringLiteral("big ") + QString(100 << 10, QLatin1Char('x')));
    small3.append(newNote(a, QStringLiteral("small after")));

    // Whatever the client believes of the limit: the part is cut by the refusal.
    for (const qint64 believed : {qint64(0), qint64(64 << 10)}) {
        SCOPED_TRACE(believed);
        FTooLarge.clear();
        a.Ctx.MaxUploadBytes = believed;
        EXPECT_EQ(up(a), believed == 0 ? 4 : 0);
        EXPECT_EQ(FTooLarge, QStringList{big});
        EXPECT_TRUE(row(a, big).Pending);
        for (const QString& id : small3) {
            EXPECT_FALSE(row(a, id).Pending);
            EXPECT_TRUE(store().Note(FUser, id.toStdString()));
        }
    }

    // The exit upload keeps to the same rule (on the repository of the
    // signed-in program).
    a.Notes->SetAccount(QString::number(FUser), QString::number(FUser));
    setText(a, small3[0], QStringLiteral("small 0, changed"));
    TNoteOptions options;
    options.FconfigUserID = QString::number(FUser);
    options.FconfigUserPass = QString::fromStdString(Md5("ann-pass"));
    options.FconfigPcID = QStringLiteral("PC-a");
    TShutdownUploadOptions how;
    how.ApiBase = QString::fromStdString(server().root()) + QStringLiteral("api/v11/");
    how.RunBlocking = [](const std::function<void()>& f) { f(); };
    EXPECT_EQ(ShutdownUpload(*a.Notes, options, how), TShutdownUploadResult::Refused);
    EXPECT_EQ(onServer(small3[0]).Values[zsrv::ncText], "small 0, changed");
    EXPECT_TRUE(row(a, big).Pending);

    // Shortened, it goes up like any other.
    setText(a, big, QStringLiteral("big no more"));
    EXPECT_EQ(up(a, big), 1);
}

TEST_P(SyncChanges, AStoreReplacedByAnEmptyOneGetsEveryNoteBack) {
    TComputer a = computer("a");
    const QString one = newNote(a, QStringLiteral("one"));
    const QString two = newNote(a, QStringLiteral("two"));
    ASSERT_EQ(up(a), 2);
    EXPECT_FALSE(down(a).ServerChanged);

    start(std::make_unique<TTestDatabase>(GetParam()), true);
    aim(a, server().root());
    const SyncEngine::TDownloadOutcome seen = down(a);
    EXPECT_TRUE(seen.ServerChanged);
    EXPECT_EQ(seen.RowsMarked, 2);
    EXPECT_EQ(up(a), 2);

    TComputer c = computer("c");
    (void)down(c);
    EXPECT_EQ(row(c, one).Note.NNote, QStringLiteral("one"));
    EXPECT_EQ(row(c, two).Note.NNote, QStringLiteral("two"));
    EXPECT_FALSE(down(a).ServerChanged);
}

TEST_P(SyncChanges, AnOlderCopyOfTheStoreNeverTakesBackNewerTexts) {
    TComputer a = computer("a");
    TComputer b = computer("b");
    const QString id = newNote(a, QStringLiteral("old words"));
    ASSERT_EQ(up(a, id), 1);
    (void)down(b);

    auto backup = std::make_unique<TTestDatabase>(GetParam());
    backup->copyFrom(*FDbs.back());
    setText(a, id, QStringLiteral("new words"));
    ASSERT_EQ(up(a, id), 1);
    (void)down(a); // as every upload is followed by a download
    (void)down(b);
    ASSERT_EQ(row(b, id).Note.NNote, QStringLiteral("new words"));

    // The server is put back from the copy; B downloads first, then A.
    start(std::move(backup), false);
    aim(a, server().root());
    aim(b, server().root());
    EXPECT_EQ(onServer(id).Values[zsrv::ncText], "old words");
    EXPECT_TRUE(down(b).ServerChanged);
    EXPECT_EQ(row(b, id).Note.NNote, QStringLiteral("new words"));
    EXPECT_TRUE(down(a).ServerChanged);
    EXPECT_EQ(row(a, id).Note.NNote, QStringLiteral("new words"));
    (void)up(b);
    (void)up(a);
    EXPECT_EQ(onServer(id).Values[zsrv::ncText], "new words");
    (void)down(b);
    EXPECT_EQ(row(b, id).Note.NNote, QStringLiteral("new words"));
    EXPECT_FALSE(row(b, id).Pending);
}

TEST_P(SyncChanges, ACopyPutBackLongAgoIsCaughtByTheNotesItLacks) {
    TComputer a = computer("a");
    const QString one = newNote(a, QStringLiteral("one"));
    ASSERT_EQ(up(a), 1);
    auto backup = std::make_unique<TTestDatabase>(GetParam());
    backup->copyFrom(*FDbs.back());
    const QString two = newNote(a, QStringLiteral("two"));
    ASSERT_EQ(up(a), 1);
    (void)down(a);

    // Put back, then changed so often from elsewhere that its count is past
    // what A saw: only the note it lacks tells.
    start(std::move(backup), false);
    TComputer b = computer("b");
    (void)down(b);
    for (int i = 0; i < 6; ++i) {
        setText(b, one, QStringLiteral("one, edit %1").arg(i));
        ASSERT_EQ(up(b), 1);
    }
    aim(a, server().root());
    const SyncEngine::TDownloadOutcome seen = down(a);
    EXPECT_TRUE(seen.ServerChanged);
    (void)up(a);
    EXPECT_EQ(onServer(two).Values[zsrv::ncText], "two");
}

INSTANTIATE_TEST_SUITE_P(Stores, SyncChanges, ::testing::ValuesIn(AllStoreKinds()),
                         [](const auto& info) { return KindName(info.param); });

} // namespace
