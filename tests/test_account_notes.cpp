// Each account's notes kept apart on one computer. Nobody is signed in; Ann
// was the last. The store holds a note of Ann's, one of Bob's and one made
// while nobody was signed in, each with a change waiting, and a deletion
// queued for Ann. Then Ann signs in (and, in one case, out again), or Bob
// signs in. The rows, the windows on the desktop, where a new note belongs and
// the credentials of every request that carries a note or a deletion are checked.

#include "app/uFmMain.h"
#include "data/uAppState.h"
#include "data/uNoteRepository.h"
#include "data/uNoteStore.h"
#include "data/uSyncStore.h"
#include "note/uFmNote.h"
#include "note/uNoteManager.h"
#include "support/LoopbackHttpServer.h"
#include "support/ProgramFolder.h"
#include "support/TestEnv.h"
#include "sync/uSyncController.h"
#include "sync/uSyncWorkers.h"

#include <QDir>
#include <QTest>
#include <QUrlQuery>
#include <gtest/gtest.h>
#include <map>
#include <mutex>

namespace {

const QString kAnn = QStringLiteral("1");
const QString kBob = QStringLiteral("2");
const QByteArray kAnnPass = "0123456789abcdef0123456789abcdef";
const QByteArray kBobPass = "fedcba9876543210fedcba9876543210";
const QString kOwn = QStringLiteral("0A000000-0000-0000-0000-00000000A001");
const QString kOther = QStringLiteral("0B000000-0000-0000-0000-00000000B002");
const QString kNone = QStringLiteral("0C000000-0000-0000-0000-00000000C003");
const QString kGone = QStringLiteral("0D000000-0000-0000-0000-00000000D004");

enum class TAction { SignOut, SignInSame, SignInOther };

QString decodeForm(QByteArray body) {
    body.replace('+', ' ');
    return QString::fromUtf8(QByteArray::fromPercentEncoding(body));
}

void signIn(const QString& id, const QByteArray& pass, const char* name) {
    const std::lock_guard lock(AppState().AccountLock);
    TNoteOptions& o = AppState().NoteOptions;
    o.FconfigUserID = id;
    o.FconfigUserPass = QString::fromLatin1(pass);
    o.FconfigUserName = QString::fromLatin1(name);
    AppState().PushUserId = id.toInt();
}

} // namespace

TEST(AccountNotes, EachAccountsNotesStayItsOwnThroughSignOutAndSignIn) {
    struct TCase {
        const char* Name;
        TAction Action;
        QStringList OnDesk;                // the notes with a window afterwards
        std::map<QString, QString> Owners; // the account of each row afterwards
    };
    const TCase cases[] = {
        {"sign in and out", TAction::SignOut, {kOwn, kNone}, {{kOwn, kAnn}, {kOther, kBob}, {kNone, kAnn}}},
        {"the last account signs in",
         TAction::SignInSame,
         {kOwn, kNone},
         {{kOwn, kAnn}, {kOther, kBob}, {kNone, kAnn}}},
        {"another signs in",
         TAction::SignInOther,
         {kOther, kNone},
         {{kOwn, kAnn}, {kOther, kBob}, {kNone, kBob}}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TLoopbackHttpServer http;
        http.setHandler([](const TRecordedRequest& r) {
            TCannedReply out;
            out.Body = r.Target.contains("get_notes.php") ? QByteArray("<NOTES></NOTES>") : QByteArray("0");
            return out;
        });
        const testenv::TProgramSetup s = testenv::MakeProgramSetup();
        QDir().mkpath(s.DataFolder());
        testenv::writeFile(s.DataFolder() + QStringLiteral("config.ini"),
                           "[config]\nPcID=PC-1\nServer=" + http.baseUrl().toUtf8() + "\n");
        qputenv("ZUVONOTE_PUSH_PORT", "1");
        auto main = std::make_unique<TFmMain>(s.Env());
        QString error;
        ASSERT_TRUE(main->Startup(&error)) << error.toStdString();
        main->tmrLoadNotes->stop();
        TDbConnection& db = main->Db();
        SyncStore::SetDeskAccount(db, kAnn); // Ann signed out in an earlier run
        main->SignedOut();
        NoteStore::InsertFromShell(db, kOwn, 10, 10, kAnn);
        NoteStore::InsertFromShell(db, kOther, 300, 10, kBob);
        NoteStore::InsertFromShell(db, kNone, 600, 10);
        for (const QString& id : {kOwn, kOther, kNone}) {
            std::optional<NoteRecord> r = main->Notes().Find(id);
            ASSERT_TRUE(r);
            r->Note.NNote = QStringLiteral("text of ") + id;
            ASSERT_TRUE(main->Notes().SaveEdit(*r));
        }
        SyncStore::QueueDelete(db, kGone, kAnn);
        main->tmrLoadNotesTimer();
        EXPECT_EQ(main->Windows().Find(kOther), nullptr) << "another account's note is not shown";
        ASSERT_TRUE(QTest::qWaitFor([&] { return !AppState().DownloadRunning; }, 10000));

        switch (c.Action) {
        case TAction::SignOut:
            signIn(kAnn, kAnnPass, "ann");
            main->SignedIn();
            main->SigningOut();
            signIn(QString(), QByteArray(), "");
            main->SignedOut();
            break;
        case TAction::SignInSame:
            signIn(kAnn, kAnnPass, "ann");
            main->SignedIn();
            break;
        case TAction::SignInOther:
            signIn(kBob, kBobPass, "bob");
            main->SignedIn();
            break;
        }
        // Whoever is signed in now sends what is theirs.
        if (c.Action != TAction::SignOut)
            main->Sync()->RequestUpload(QString(), {}, true);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return main->SyncWorkers()->Running() == 0 && AppState().RunningUploadCount == 0; },
            15000));
        QTest::qWait(100);

        QStringList desk;
        for (const QString& id : {kOwn, kOther, kNone})
            if (TFmNote* n = main->Windows().Find(id); n && n->isVisible())
                desk.append(id);
        EXPECT_EQ(desk, c.OnDesk);
        for (const auto& [id, owner] : c.Owners) {
            const std::optional<NoteRecord> r = main->Notes().Find(id);
            ASSERT_TRUE(r) << id.toStdString();
            EXPECT_EQ(r->Account, owner) << id.toStdString();
        }
        // Ann's change left with Ann's credentials, or waits for her.
        const std::optional<NoteRecord> own = main->Notes().Find(kOwn);
        EXPECT_EQ(own->Pending, c.Action == TAction::SignInOther);
        // A note made now belongs to whoever is signed in, or to nobody.
        TFmNote* made = main->CreateNewNote(QString());
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(main->Notes().Find(made->NoteId())->Account, c.Action == TAction::SignOut      ? QString()
                                                               : c.Action == TAction::SignInSame ? kAnn
                                                                                                 : kBob);

        // Every note and every deletion went with its own account's credentials.
        int carried = 0;
        for (const TRecordedRequest& r : http.requests()) {
            const QUrlQuery q(QUrl(QString::fromUtf8(r.Target)).query());
            if (r.Target.contains("update_note.php")) {
                const QString user = q.queryItemValue(QStringLiteral("userid"));
                const QString doc = decodeForm(r.Body);
                for (const QString& id : {kOwn, kOther, kNone}) {
                    if (!doc.contains(QStringLiteral("<id>") + id + QStringLiteral("</id>")))
                        continue;
                    ++carried;
                    EXPECT_EQ(main->Notes().Find(id)->Account, user) << id.toStdString();
                }
            } else if (r.Target.contains("del_note.php")) {
                const QString form = QString::fromUtf8(r.Body);
                EXPECT_TRUE(form.contains(QStringLiteral("nid=") + kGone));
                EXPECT_TRUE(form.contains(QStringLiteral("userid=") + kAnn)) << form.toStdString();
            }
        }
        EXPECT_GT(carried, 0);
        EXPECT_EQ(SyncStore::QueuedDeletes(db).isEmpty(), c.Action != TAction::SignInOther);
        main->Shutdown();
        main.reset();
        qunsetenv("ZUVONOTE_PUSH_PORT");
        signIn(QString(), QByteArray(), "");
    }
}
