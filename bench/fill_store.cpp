// Benchmark fixture tool: writes a store of N notes (base columns only, as an
// old file would be, or upgraded with --upgraded).
#include "data/uNoteStore.h"

#include <QUuid>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <brisel.mdb> <rows> [--upgraded]\n", argv[0]);
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int rows = std::atoi(argv[2]);
    try {
        TDbConnection::CreateFromSchema(path);
        auto db = TDbConnection::Open(path);
        if (argc > 3 && std::strcmp(argv[3], "--upgraded") == 0)
            UpgradeSchema(*db);
        TTransaction tr(*db);
        const QString text = QString(200, QLatin1Char('x'));
        for (int i = 0; i < rows; ++i)
            db->Exec(QStringLiteral("insert into notes (id, mynote, form_x, form_y, form_w, form_h, form_trans, "
                                    "fontcolor, fontsize, fontname, fontbold, alerttype, shownote, ctime, commited) "
                                    "values (?, ?, ?, ?, 220, 100, 160, 0, 9, 'Tahoma', 0, 0, 0, ?, 0)"),
                     {QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(), text, 10 + i % 1000,
                      10 + i % 700, NoteStore::NowText()});
        tr.Commit();
    } catch (const TSqlError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
