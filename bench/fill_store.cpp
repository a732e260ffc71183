// Benchmark fixture tool: writes a store of N notes (base columns only, as an
// old file would be, or upgraded with --upgraded; hidden on this computer unless
// --shown), 220 x 100 with a short text unless --size WxH and --chars N.
#include "data/uNoteStore.h"

#include <QUuid>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: %s <brisel.mdb> <rows> [--upgraded] [--shown] [--size WxH] [--chars N]\n",
                     argv[0]);
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int rows = std::atoi(argv[2]);
    try {
        NoteStore::CreateFromSchema(path);
        auto db = TDbConnection::Open(path);
        bool shown = false;
        int width = 220, height = 100, chars = 0;
        for (int i = 3; i < argc; ++i) {
            if (std::strcmp(argv[i], "--upgraded") == 0)
                UpgradeSchema(*db);
            if (std::strcmp(argv[i], "--shown") == 0)
                shown = true;
            if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc)
                std::sscanf(argv[++i], "%dx%d", &width, &height);
            if (std::strcmp(argv[i], "--chars") == 0 && i + 1 < argc)
                chars = std::atoi(argv[++i]);
        }
        TTransaction tr(*db);
        QString text = QStringLiteral("A note of some length, with a few words on two lines\nsecond line");
        // Longer texts are ordinary prose: words and a line break now and then.
        if (chars > 0) {
            text.clear();
            static const char* const words[] = {"remember", "to",      "call", "the", "office",
                                                "about",    "Tuesday", "and",  "buy", "milk"};
            for (int w = 0; text.size() < chars; ++w)
                text += QLatin1String(words[w % 10]) + QLatin1Char(w % 13 == 12 ? '\n' : ' ');
            text.truncate(chars);
        }
        for (int i = 0; i < rows; ++i)
            db->Exec(QStringLiteral(
                         "insert into notes (id, mynote, form_x, form_y, form_w, form_h, form_trans, "
                         "fontcolor, fontsize, fontname, fontbold, alerttype, shownote, ctime, commited) "
                         "values (?, ?, ?, ?, ?, ?, 160, 0, 9, 'Tahoma', 0, 0, ?, ?, 0)"),
                     {QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(), text,
                      10 + (i * 37) % 1000, 10 + (i * 53) % 880, width, height, shown ? 1 : 0,
                      NoteStore::NowText()});
        tr.Commit();
    } catch (const TSqlError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
