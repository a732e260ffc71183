// The schema upgrade of a large store made before any upgrade.
#include "data/uNoteStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>
#include <benchmark/benchmark.h>

namespace {

QString makeBaseStore(const QString& dir, int rows) {
    const QString path = dir + QStringLiteral("/template.mdb");
    NoteStore::CreateFromSchema(path);
    auto db = TDbConnection::Open(path);
    TTransaction tr(*db);
    const QString text(200, QLatin1Char('x'));
    for (int i = 0; i < rows; ++i)
        db->Exec(
            QStringLiteral("insert into notes (id, mynote, form_x, form_y, form_w, form_h, form_trans, "
                           "fontsize, fontname, shownote, commited) values (?, ?, 10, 10, 220, 100, 160, 9, "
                           "'Tahoma', 1, 1)"),
            {QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(), text});
    tr.Commit();
    db->Exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    return path;
}

void BM_SchemaUpgrade(benchmark::State& state) {
    QTemporaryDir dir;
    const QString templ = makeBaseStore(dir.path(), int(state.range(0)));
    const QString work = dir.path() + QStringLiteral("/brisel.mdb");
    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(work);
        QFile::remove(work + QStringLiteral("-wal"));
        QFile::remove(work + QStringLiteral("-shm"));
        QFile::copy(templ, work);
        state.ResumeTiming();
        auto db = TDbConnection::Open(work);
        UpgradeSchema(*db);
    }
}
BENCHMARK(BM_SchemaUpgrade)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

BENCHMARK_MAIN();
