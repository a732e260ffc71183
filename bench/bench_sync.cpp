// Sync against a real server in this process (SQLite, loopback): a full
// download of 10 000 notes applied to a store, an upload of 10 000 pending rows,
// and the time from one computer's upload until another's store holds the text.

#include "data/uNoteStore.h"
#include "server/app/uServerApp.h"
#include "server/auth/uAccounts.h"
#include "server/store/uServerStore.h"
#include "sync/uSyncEngine.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QUuid>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double ms(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e6;
}

// Time spent inside requests (the server's work and the transfer), so the
// client's own share can be told apart.
double gInRequestMs = 0;
THttpResponse timedSend(const THttpRequest& r) {
    QElapsedTimer t;
    t.start();
    THttpResponse out = HttpPerform(r);
    gInRequestMs += ms(t);
    return out;
}

struct TComputer {
    std::unique_ptr<TDbConnection> Db;
    TSyncContext Ctx;
};

TComputer makeComputer(const QString& dir, const QString& root, std::int64_t user, const QString& md5,
                       int n) {
    const QString path = dir + QStringLiteral("/pc%1.mdb").arg(n);
    NoteStore::CreateFromSchema(path);
    {
        auto db = TDbConnection::Open(path);
        UpgradeSchema(*db);
    }
    TComputer c;
    c.Db = SyncEngine::OpenStore(path);
    c.Ctx.Endpoint.ApiBase = root + QStringLiteral("api/v11/");
    c.Ctx.Endpoint.SiteRoot = root;
    const TServiceCredentials creds{QString::number(user), md5, QStringLiteral("PC-%1").arg(n),
                                    QStringLiteral("b")};
    c.Ctx.Credentials = [creds] { return creds; };
    c.Ctx.AudioFolder = dir + QStringLiteral("/audio%1/").arg(n);
    c.Ctx.Send = timedSend;
    return c;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int notes = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int edits = argc > 2 ? std::atoi(argv[2]) : 1000;
    QTemporaryDir dir;
    zsrv::TServerConfig config;
    config.HttpPort = 0;
    config.PushPort = 0;
    config.LogRequests = false;
    config.Db = "sqlite:" + (dir.path() + QStringLiteral("/server.db")).toStdString();
    zsrv::TServerApp server(config);
    server.Start();
    const QString root = QStringLiteral("http://127.0.0.1:%1/").arg(server.HttpPort());
    const QString md5 =
        QString::fromLatin1(QCryptographicHash::hash("bench-pass", QCryptographicHash::Md5).toHex());
    const auto user = *server.Store().CreateAccount(
        zsrv::TNewAccount{"bench@example.com", "Bench", zsrv::VerifierForPassword("bench-pass", 1000), ""});

    TComputer a = makeComputer(dir.path(), root, user, md5, 1);
    TComputer b = makeComputer(dir.path(), root, user, md5, 2);

    // Upload of 10 000 pending rows: select, document, encoding, request, marking.
    {
        TTransaction tr(*a.Db);
        for (int i = 0; i < notes; ++i) {
            const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
            NoteStore::InsertFromShell(*a.Db, id, 10, 10);
            a.Db->Exec(QStringLiteral("update notes set mynote=?, commited=0 where id=?"),
                       {QStringLiteral("note %1 ").arg(i) + QString(180, QLatin1Char('x')), id});
        }
        tr.Commit();
    }
    QElapsedTimer t;
    const auto report = [&](const char* what) {
        const double all = ms(t);
        std::printf("%-40s %8.1f ms, client side %8.1f ms (in requests %.1f ms)\n", what, all,
                    all - gInRequestMs, gInRequestMs);
    };
    gInRequestMs = 0;
    t.start();
    const int sent = SyncEngine::RunUpload(*a.Db, a.Ctx, QString(), {});
    report("upload of the pending rows");
    if (sent != notes)
        std::printf("only %d of %d rows were stored\n", sent, notes);

    // Full download into an empty store (all new), then again with every text changed.
    gInRequestMs = 0;
    t.start();
    auto d = SyncEngine::RunFullDownload(*b.Db, b.Ctx);
    report("full download, every note new");
    a.Db->Exec(QStringLiteral("update notes set mynote=mynote||'!', commited=0, rev=rev+1, unsent=1"));
    (void)SyncEngine::RunUpload(*a.Db, a.Ctx, QString(), {});
    gInRequestMs = 0;
    t.start();
    d = SyncEngine::RunFullDownload(*b.Db, b.Ctx);
    report("full download, every text changed");
    std::printf("(%d notes of 200 characters)\n", notes);

    // Edit-to-other-computer: one note's upload on A until B's store holds the
    // text after its download (no push channel: B downloads as soon as A's upload ended).
    // On an account of its own with a few notes, so the figure is the edit's
    // trip and not the size of the list above.
    const auto user2 = *server.Store().CreateAccount(
        zsrv::TNewAccount{"latency@example.com", "Bench", zsrv::VerifierForPassword("bench-pass", 1000), ""});
    TComputer c = makeComputer(dir.path(), root, user2, md5, 3);
    TComputer e = makeComputer(dir.path(), root, user2, md5, 4);
    for (int i = 0; i < 20; ++i) {
        const QString other = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        NoteStore::InsertFromShell(*c.Db, other, 10, 10);
        c.Db->Exec(QStringLiteral("update notes set mynote=?, commited=0 where id=?"),
                   {QStringLiteral("another note ") + QString(180, QLatin1Char('y')), other});
    }
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    NoteStore::InsertFromShell(*c.Db, id, 10, 10);
    c.Db->Exec(QStringLiteral("update notes set mynote='start', commited=0 where id=?"), {id});
    (void)SyncEngine::RunUpload(*c.Db, c.Ctx, id, {utNote});
    std::vector<double> lat;
    for (int i = 0; i < edits; ++i) {
        const QString text = QStringLiteral("edit %1").arg(i);
        c.Db->Exec(QStringLiteral("update notes set mynote=?, commited=0, rev=rev+1, unsent=1 where id=?"),
                   {text, id});
        t.start();
        (void)SyncEngine::RunUpload(*c.Db, c.Ctx, id, {utNote});
        (void)SyncEngine::RunFullDownload(*e.Db, e.Ctx);
        lat.push_back(ms(t));
        const TRowSet r = e.Db->Select(QStringLiteral("select mynote from notes where id=?"), {id});
        if (r.asText(0, QStringLiteral("mynote")) != text) {
            std::printf("the other computer does not hold edit %d\n", i);
            return 1;
        }
    }
    std::sort(lat.begin(), lat.end());
    std::printf("edit to other computer over %d edits: p50 %.2f ms, p99 %.2f ms\n", edits,
                lat[lat.size() / 2], lat[lat.size() * 99 / 100]);

    // The server's store is replaced by an empty one: A's next download finds
    // out, marks all its notes, and they go up again.
    (void)SyncEngine::RunFullDownload(*a.Db, a.Ctx);
    zsrv::TServerConfig fresh = config;
    fresh.Db = "sqlite:" + (dir.path() + QStringLiteral("/server2.db")).toStdString();
    zsrv::TServerApp replaced(fresh);
    replaced.Start();
    const auto again = *replaced.Store().CreateAccount(
        zsrv::TNewAccount{"bench@example.com", "Bench", zsrv::VerifierForPassword("bench-pass", 1000), ""});
    const QString root2 = QStringLiteral("http://127.0.0.1:%1/").arg(replaced.HttpPort());
    a.Ctx.Endpoint.ApiBase = root2 + QStringLiteral("api/v11/");
    const TServiceCredentials creds2{QString::number(again), md5, QStringLiteral("PC-1"),
                                     QStringLiteral("b")};
    a.Ctx.Credentials = [creds2] { return creds2; };
    gInRequestMs = 0;
    t.start();
    const auto seen = SyncEngine::RunFullDownload(*a.Db, a.Ctx);
    const int back = SyncEngine::RunUpload(*a.Db, a.Ctx, QString(), {});
    report("store replaced: marked and sent again");
    std::printf("(%d rows marked, %d back on the server, the change %s)\n", seen.RowsMarked, back,
                seen.ServerChanged ? "seen" : "NOT SEEN");
    replaced.Stop();
    server.Stop();
    return 0;
}
