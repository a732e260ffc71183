// The daily backup of a store of 10 000 notes of 200 characters, copied with
// the online backup API while a connection of the program holds the store open.
#include "data/uNoteStore.h"
#include "data/uStoreBackup.h"

#include <QDate>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUuid>
#include <benchmark/benchmark.h>

namespace {

void BM_DailyBackup(benchmark::State& state) {
    QTemporaryDir dir;
    const QString store = dir.path() + QStringLiteral("/brisel.mdb");
    NoteStore::CreateFromSchema(store);
    auto db = TDbConnection::Open(store);
    UpgradeSchema(*db);
    {
        TTransaction tr(*db);
        const QString text(200, QLatin1Char('x'));
        for (int i = 0; i < state.range(0); ++i)
            NoteStore::InsertFromShell(*db, QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(),
                                       i % 1000, i % 800);
        db->Exec(QStringLiteral("update notes set mynote=?"), {text});
        tr.Commit();
    }
    const QString folder = StoreBackup::BackupFolder(dir.path());
    QString written;
    for (auto _ : state)
        written = StoreBackup::MakeBackup(store, folder, QDate(2026, 1, 1));
    state.counters["bytes"] = double(QFileInfo(written).size());
}

} // namespace

BENCHMARK(BM_DailyBackup)->Arg(10000)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_MAIN();
