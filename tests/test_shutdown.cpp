// The shutdown sequence: settings saved, every note hidden and saved, running
// uploads awaited, and the last upload of pending notes.

#include "app/uFmMain.h"
#include "app/uSessionEnd.h"
#include "data/uAppState.h"
#include "data/uNoteRepository.h"
#include "data/uNoteStore.h"
#include "note/uFmNote.h"
#include "note/uNoteManager.h"
#include "note/uTransRichEdit.h"
#include "platform/gui/uWindows.h"
#include "platform/uMessages.h"
#include "platform/uSignalPipe.h"
#include "shared/uIniFile.h"
#include "support/LoopbackHttpServer.h"
#include "support/ProgramFolder.h"
#include "support/TestEnv.h"
#include "sync/uShutdownUpload.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QtGui/private/qguiapplication_p.h>
#include <atomic>
#include <csignal>
#include <gtest/gtest.h>
#include <thread>

using testenv::MakeProgramSetup;
using testenv::TProgramSetup;

namespace {

// Starts a main window whose config signs in "U" and whose store holds the given rows.
std::unique_ptr<TFmMain> startSignedIn(const TProgramSetup& s, const QString& apiBase, bool signedIn = true) {
    QDir().mkpath(s.DataFolder());
    testenv::writeFile(s.DataFolder() + QStringLiteral("config.ini"),
                       signedIn
                           ? "[config]\nUserID=42\nUserPass=0123456789abcdef0123456789abcdef\nPcID=PC-1\n"
                           : "[config]\nPcID=PC-1\n");
    TFmMainEnv env = s.Env();
    env.ApiBase = apiBase;
    auto main = std::make_unique<TFmMain>(env);
    QString error;
    if (!main->Startup(&error))
        ADD_FAILURE() << error.toStdString();
    return main;
}

void addRow(TDbConnection& db, const QString& id, const QVariant& text, const QVariant& committed) {
    NoteStore::InsertFromShell(db, id, 10, 10);
    db.Exec(QStringLiteral("update notes set mynote=?, commited=? where id=?"), {text, committed, id});
}

QList<int> committedFlags(const QString& dataFolder, const QStringList& ids) {
    auto db = TDbConnection::Open(dataFolder + QStringLiteral("brisel.mdb"));
    QList<int> out;
    for (const QString& id : ids) {
        const TRowSet r = db->Select(QStringLiteral("select commited from notes where id=?"), {id});
        out.append(r.isNull(0, "commited") ? -1 : r.asInt(0, "commited"));
    }
    return out;
}

QString decodeBody(const QByteArray& body) {
    QByteArray b = body;
    b.replace('+', ' ');
    return QString::fromUtf8(QByteArray::fromPercentEncoding(b));
}

// Stands in for a note window, recording the messages it gets.
class TFakeNote : public QWidget {
public:
    explicit TFakeNote(QList<QPair<QString, int>>* log, QString name) : FLog(log), FName(std::move(name)) {}
    bool event(QEvent* e) override {
        if (e->type() >= QEvent::User)
            FLog->append({FName, int(e->type())});
        return QWidget::event(e);
    }

private:
    QList<QPair<QString, int>>* FLog;
    QString FName;
};

} // namespace

TEST(Shutdown, PostsThePendingNotesAndCommitsExactlyTheRowsItSent) {
    TLoopbackHttpServer server;
    server.setReply({200, "text/html", "0", 0});
    const TProgramSetup s = MakeProgramSetup();
    auto main = startSignedIn(s, server.baseUrl() + QStringLiteral("api/v11/"));
    const QStringList ids = {"A", "B", "C", "EMPTY", "DONE"};
    addRow(main->Db(), "A", QStringLiteral("first & <second>"), 0);
    addRow(main->Db(), "B", QStringLiteral("便签 two"), QVariant());
    addRow(main->Db(), "C", QStringLiteral("third ]]> end"), 0);
    addRow(main->Db(), "EMPTY", QStringLiteral(""), 0);
    addRow(main->Db(), "DONE", QStringLiteral("already there"), 1);

    main->Shutdown();

    const QList<TRecordedRequest> reqs = server.requests();
    ASSERT_EQ(reqs.size(), 1);
    const TRecordedRequest& r = reqs.first();
    EXPECT_EQ(r.Method, "POST");
    EXPECT_EQ(r.Target,
              "/api/v11/update_note.php?userid=42&userpass=0123456789abcdef0123456789abcdef&pcid=PC-1"
              "&uploadfields=11111111111111111111");
    EXPECT_EQ(r.Headers.value("user-agent"), "Mozilla/3.0 (compatible; Indy Library)");
    EXPECT_EQ(r.Headers.value("content-type"), "application/x-www-form-urlencoded");
    EXPECT_FALSE(r.Body.contains('=')); // one unnamed line, nothing for the form layer to escape
    const QString xml = decodeBody(r.Body);
    EXPECT_EQ(xml.count(QStringLiteral("<NoteItem>")), 3) << xml.toStdString();
    EXPECT_TRUE(xml.contains(QStringLiteral("便签 two")));
    EXPECT_FALSE(xml.contains(QStringLiteral("<notetype>")));
    // The empty note was not sent, so it stays pending; the sent ones are committed.
    EXPECT_EQ(committedFlags(s.DataFolder(), ids), (QList<int>{1, 1, 1, 0, 1}));
}

TEST(Shutdown, RowsStayPendingUnlessTheServerSaysExactlyZero) {
    struct TCase {
        const char* Name;
        TCannedReply Reply;
    };
    const TCase cases[] = {
        {"trailing blank", {200, "text/html", "0 ", 0}},
        {"credentials rejected", {200, "text/html", "-2", 0}},
        {"server error", {500, "text/html", "0", 0}},
        {"empty reply", {200, "text/html", "", 0}},
    };
    for (const TCase& c : cases) {
        TLoopbackHttpServer server;
        server.setReply(c.Reply);
        const TProgramSetup s = MakeProgramSetup();
        auto main = startSignedIn(s, server.baseUrl() + QStringLiteral("api/v11/"));
        addRow(main->Db(), "A", QStringLiteral("text"), 0);
        main->Shutdown();
        EXPECT_EQ(server.requests().size(), 1) << c.Name;
        EXPECT_EQ(committedFlags(s.DataFolder(), {"A"}), QList<int>{0}) << c.Name;
    }
}

TEST(Shutdown, NothingIsSentWhenNobodyIsSignedInOrNothingIsPending) {
    TLoopbackHttpServer server;
    for (bool signedIn : {false, true}) {
        const TProgramSetup s = MakeProgramSetup();
        auto main = startSignedIn(s, server.baseUrl() + QStringLiteral("api/v11/"), signedIn);
        if (!signedIn)
            addRow(main->Db(), "A", QStringLiteral("text"), 0);
        else
            addRow(main->Db(), "A", QStringLiteral("text"), 1);
        main->Shutdown();
        if (!signedIn) {
            EXPECT_EQ(committedFlags(s.DataFolder(), {"A"}), QList<int>{0});
        }
    }
    EXPECT_TRUE(server.requests().isEmpty());
}

TEST(Shutdown, ADeadServerLeavesTheRowsPendingWithinTheTimeout) {
    TLoopbackHttpServer server;
    server.setReply({200, "text/html", "0", 5000}); // answers far too late
    const TProgramSetup s = MakeProgramSetup();
    QDir().mkpath(s.DataFolder());
    testenv::writeFile(s.DataFolder() + QStringLiteral("config.ini"), "[config]\nUserID=42\n");
    auto db = [&] {
        TFmMain m(s.Env());
        QString e;
        EXPECT_TRUE(m.Startup(&e));
        addRow(m.Db(), "A", QStringLiteral("text"), 0);
        TShutdownUploadOptions how;
        how.ApiBase = server.baseUrl() + QStringLiteral("api/v11/");
        how.TimeoutMs = 300;
        return ShutdownUpload(m.Notes(), AppState().NoteOptions, how);
    }();
    EXPECT_EQ(db, TShutdownUploadResult::Failed);
    EXPECT_EQ(committedFlags(s.DataFolder(), {"A"}), QList<int>{0});
}

TEST(Shutdown, ARowChangedWhileTheUploadIsOnTheWireStaysPending) {
    TLoopbackHttpServer server;
    server.setReply({200, "text/html", "0", 0});
    const TProgramSetup s = MakeProgramSetup();
    auto main = startSignedIn(s, server.baseUrl() + QStringLiteral("api/v11/"));
    addRow(main->Db(), "A", QStringLiteral("sent"), 0);
    addRow(main->Db(), "B", QStringLiteral("changed after it was read"), 0);
    TShutdownUploadOptions how;
    how.ApiBase = server.baseUrl() + QStringLiteral("api/v11/");
    how.RunBlocking = [&](const std::function<void()>& call) {
        call();
        EXPECT_TRUE(main->Notes().SetFontColor(QStringLiteral("B"), 0x0000FF));
    };
    EXPECT_EQ(ShutdownUpload(main->Notes(), AppState().NoteOptions, how), TShutdownUploadResult::Stored);
    EXPECT_EQ(committedFlags(s.DataFolder(), {"A", "B"}), (QList<int>{1, 0}));
}

TEST(Shutdown, WaitsForRunningUploadsBeforeSelectingPendingRows) {
    TLoopbackHttpServer server;
    const TProgramSetup s = MakeProgramSetup();
    auto main = startSignedIn(s, server.baseUrl() + QStringLiteral("api/v11/"));
    addRow(main->Db(), "A", QStringLiteral("text"), 0);
    AppState().RunningUploadCount = 1;
    bool finished = false;
    // The worker's completion arrives through the event loop the wait keeps turning;
    // it commits its row, so the shutdown upload has nothing left to send.
    QTimer::singleShot(200, [&] {
        main->Db().Exec(QStringLiteral("update notes set commited=1 where id='A'"));
        finished = true;
        --AppState().RunningUploadCount;
    });
    main->Shutdown();
    EXPECT_TRUE(finished);
    EXPECT_TRUE(server.requests().isEmpty());
}

TEST(Shutdown, RejectedCredentialsOnTheWayOutOpenNoSignInDialog) {
    TLoopbackHttpServer server;
    TCannedReply refused;
    refused.Body = "-2";
    server.setReply(refused);
    const TProgramSetup s = MakeProgramSetup();
    auto main = startSignedIn(s, server.baseUrl() + QStringLiteral("api/v11/"));
    addRow(main->Db(), "A", QStringLiteral("text"), 0);
    QStringList shown;
    const TModalHandler previous = SetModalHandler([&shown](QDialog& d) {
        shown << QLatin1String(d.metaObject()->className());
        return int(QDialog::Rejected);
    });
    // A worker still running at exit is told its credentials were rejected.
    AppState().RunningUploadCount = 1;
    std::thread worker;
    std::atomic<bool> reported{false};
    QTimer::singleShot(100, [&] {
        worker = std::thread([&] {
            (void)SendMessageW(main.get(), WM_LOGINFAILED);
            reported = true;
            --AppState().RunningUploadCount;
        });
    });
    main->Shutdown();
    if (worker.joinable())
        worker.join();
    SetModalHandler(previous);
    EXPECT_TRUE(reported);
    EXPECT_TRUE(shown.isEmpty()) << shown.join(QLatin1Char(' ')).toStdString();
    // The last upload was refused the same way: the row stays pending, and still no dialog.
    EXPECT_EQ(server.requests().size(), 1);
    EXPECT_EQ(committedFlags(s.DataFolder(), {QStringLiteral("A")}), QList<int>{0});
}

TEST(Shutdown, SavesSettingsAndHidesThenSavesEveryNoteInTurn) {
    const TProgramSetup s = MakeProgramSetup();
    auto main = startSignedIn(s, QStringLiteral("http://127.0.0.1:9/api/v11/"), false);
    QList<QPair<QString, int>> log;
    TFakeNote one(&log, "one"), two(&log, "two");
    main->Windows().Register(&one);
    main->Windows().Register(&two);
    QWidget other;
    AppState().NoteOptions.FconfigAutoHideNote = true;
    main->Shutdown();
    // One window after the other: each is hidden, then saved, before the next.
    ASSERT_EQ(log.size(), 4);
    for (int i = 0; i < 4; i += 2) {
        EXPECT_EQ(log[i].first, log[i + 1].first);
        EXPECT_EQ(log[i].second, 1054);     // WM_HIDENOTE
        EXPECT_EQ(log[i + 1].second, 1044); // WM_SAVENOTEATTRS
    }
    EXPECT_NE(log[0].first, log[2].first);
    EXPECT_TRUE(
        TIniFile(s.DataFolder() + QStringLiteral("config.ini")).ReadBool("config", "AutoHideNote", false));
}

// At log-off the session manager asks for a save and may end the process as soon
// as the answer is given: the typed text is stored and goes up before that.
TEST(Shutdown, TheSessionManagersSaveRequestSavesEveryNoteThenShutsDownInOrder) {
    TLoopbackHttpServer server;
    server.setReply({200, "text/html", "0", 0});
    const TProgramSetup s = MakeProgramSetup();
    auto main = startSignedIn(s, server.baseUrl() + QStringLiteral("api/v11/"));
    addRow(main->Db(), "A", QStringLiteral("before"), 1);
    main->tmrLoadNotesTimer();
    const QList<TFmNote*> notes = TFmMain::NoteWindows();
    ASSERT_EQ(notes.size(), 1);
    notes[0]->EnableMmoNote();
    notes[0]->mmoNote->setPlainText(QStringLiteral("typed before log-off"));

    const TSessionEndWatch watch(*main);
    QGuiApplicationPrivate::instance()->commitData();

    EXPECT_TRUE(main->IsShuttingDown());
    const QList<TRecordedRequest> reqs = server.requests();
    ASSERT_EQ(reqs.size(), 1);
    EXPECT_TRUE(decodeBody(reqs[0].Body).contains(QStringLiteral("typed before log-off")));
    auto db = TDbConnection::Open(s.DataFolder() + QStringLiteral("brisel.mdb"));
    const TRowSet r = db->Select(QStringLiteral("select mynote, commited from notes where id='A'"));
    EXPECT_EQ(r.asText(0, "mynote"), QStringLiteral("typed before log-off"));
    EXPECT_EQ(r.asInt(0, "commited"), 1);
}

// A termination signal ends the program in time even when the exit cannot send:
// the last upload gets what is left of the time, and its rows stay pending.
TEST(Shutdown, AnExitWithADeadlineLeavesWhatItCannotSendInTimePending) {
    TLoopbackHttpServer server;
    server.setReply({200, "text/html", "0", 3000}); // in time for the usual bound, not for this one
    const TProgramSetup s = MakeProgramSetup();
    auto main = startSignedIn(s, server.baseUrl() + QStringLiteral("api/v11/"));
    addRow(main->Db(), "A", QStringLiteral("text"), 0);
    main->EndBy(QDeadlineTimer(300));
    main->Shutdown();
    EXPECT_TRUE(main->IsShuttingDown());
    EXPECT_EQ(committedFlags(s.DataFolder(), {"A"}), QList<int>{0});
}

// What is typed or pasted after the notes were saved for the exit would be
// lost: it no longer reaches them.
TEST(Shutdown, InputQueuedBehindTheExitNoLongerChangesANote) {
    const TProgramSetup s = MakeProgramSetup();
    auto main = startSignedIn(s, QStringLiteral("http://127.0.0.1:9/api/v11/"), false);
    addRow(main->Db(), "A", QStringLiteral("text"), 1);
    main->tmrLoadNotesTimer();
    TFmNote* note = TFmMain::NoteWindows().value(0);
    ASSERT_NE(note, nullptr);
    note->EnableMmoNote();
    QPointer<TTransRichEdit> editor = note->mmoNote;
    editor->moveCursor(QTextCursor::End);
    QTest::keyClicks(editor, QStringLiteral(" typed"));
    EndSessionAndShutDown(*main);
    ASSERT_TRUE(editor); // deleted later, by the loop that the exit ends
    QTest::keyClicks(editor, QStringLiteral(" late"));
    EXPECT_EQ(note->NoteText(), QStringLiteral("text typed"));
    auto db = TDbConnection::Open(s.DataFolder() + QStringLiteral("brisel.mdb"));
    EXPECT_EQ(db->Select(QStringLiteral("select mynote from notes where id='A'")).asText(0, "mynote"),
              QStringLiteral("text typed"));
}

// The user-interface thread saves the edits, and handles a termination signal
// when its loop turns. Should it not (busy, or stuck), a thread of its own ends
// the process after the grace time, once a write to the store under way is done.
TEST(Shutdown, ASignalTheBusyLoopDoesNotHearEndsTheProcessAfterTheWriteUnderWay) {
    const TProgramSetup s = MakeProgramSetup();
    QDir().mkpath(s.DataFolder());
    const QString path = s.DataFolder() + QStringLiteral("signal.mdb");
    NoteStore::CreateFromSchema(path);
    QSemaphore writing;
    std::atomic<bool> committed = false;
    std::thread writer([&] {
        auto db = TDbConnection::Open(path);
        db->Exec(QStringLiteral("BEGIN IMMEDIATE"));
        db->Exec(QStringLiteral("insert into notes (id, mynote) values ('A', 'written')"));
        writing.release();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        db->Exec(QStringLiteral("COMMIT"));
        committed = true;
    });

    TSignalPipe pipe;
    QSignalSpy heard(&pipe, &TSignalPipe::Terminate);
    QSemaphore ended;
    bool committedFirst = false;
    int endedBy = 0;
    pipe.EndWithin(
        50,
        [&] {
            WaitForStoreWrites(path, 10000);
            committedFirst = committed;
        },
        [&](int sig) {
            endedBy = sig;
            ended.release();
        });
    ASSERT_TRUE(writing.tryAcquire(1, 10000));
    ::raise(SIGTERM);
    // This thread turns no loop meanwhile: it stands for a busy one.
    ASSERT_TRUE(ended.tryAcquire(1, 20000));
    writer.join();
    EXPECT_TRUE(committedFirst);
    EXPECT_EQ(endedBy, SIGTERM);
    // The loop still hears of it once it turns.
    EXPECT_TRUE(heard.wait(10000));
}
