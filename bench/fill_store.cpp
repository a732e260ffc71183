// Benchmark fixture tool: writes a store of N notes (base columns only, as an
// old file would be, or upgraded with --upgraded; hidden on this computer unless
// --shown), 220 x 100 with a short text unless --size WxH and --chars N.
// With --xpad the same notes, at the same places, go into an xpad
// configuration folder instead (the first argument is that folder). With
// --also FILE the store gets one more note, shown, whose text is that file's
// (UTF-8), in list style N with --list N.
#include "data/uNoteStore.h"

#include <QDir>
#include <QFile>
#include <QPoint>
#include <QSize>
#include <QUuid>
#include <cstdio>
#include <cstring>

namespace {

// The text of every note: short, or ordinary prose of `chars` characters.
QString noteText(int chars) {
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
    return text;
}

QPoint notePlace(int i) {
    return {10 + (i * 37) % 1000, 10 + (i * 53) % 880};
}

bool writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

// xpad's own files: a shared style (as xpad writes it at its first start, but
// without window decorations, as our notes have none) and one info and one
// content file per pad.
int writeXpadPads(const QString& folder, int rows, QSize size, int chars) {
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot make %s\n", qPrintable(folder));
        return 1;
    }
    const QDir dir(folder);
    const QByteArray style = "decorations 0\nheight 300\nwidth 300\nconfirm_destroy 1\nedit_lock 0\n"
                             "sticky_on_start 0\ntray_enabled 1\ntray_click_configuration 1\n"
                             "back rgb(255,238,153)\nuse_back 1\ntext rgb(0,0,0)\nuse_text 1\n"
                             "fontname Sans 9\ntoolbar 1\nauto_hide_toolbar 1\nscrollbar 1\n"
                             "buttons New, Delete, Separator, Cut, Copy, Paste, Separator, Undo, Redo, "
                             "Separator, Find\nautostart_wait_systray 1\nautostart_delay 0\n"
                             "autostart_new_pad 0\nautostart_display_pads 2\nhide_from_taskbar 0\n"
                             "hide_from_task_switcher 0\nline_numbering 0\n";
    bool ok = writeFile(dir.filePath(QStringLiteral("default-style")), style);
    const QByteArray text = noteText(chars).toUtf8();
    for (int i = 0; i < rows && ok; ++i) {
        const QString suffix = QStringLiteral("%1").arg(i, 6, 36, QLatin1Char('0')).toUpper();
        const QPoint at = notePlace(i);
        const QByteArray info = QStringLiteral("width %1\nheight %2\nx %3\ny %4\nfollow_font 1\n"
                                               "follow_color 1\nsticky 0\nhidden 0\n"
                                               "back rgb(255,238,153)\ntext rgb(0,0,0)\n"
                                               "fontname Sans 9\ncontent content-%5\n")
                                    .arg(size.width())
                                    .arg(size.height())
                                    .arg(at.x())
                                    .arg(at.y())
                                    .arg(suffix)
                                    .toUtf8();
        ok = writeFile(dir.filePath(QStringLiteral("info-") + suffix), info) &&
             writeFile(dir.filePath(QStringLiteral("content-") + suffix), text);
    }
    if (!ok) {
        std::fprintf(stderr, "cannot write the pads into %s\n", qPrintable(folder));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: %s <brisel.mdb> <rows> [--upgraded] [--shown] [--size WxH] [--chars N]"
                     " [--also FILE [--list N]]\n"
                     "       %s <xpad folder> <rows> --xpad [--size WxH] [--chars N]\n",
                     argv[0], argv[0]);
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int rows = std::atoi(argv[2]);
    bool xpad = false;
    int width = 220, height = 100, chars = 0, list = 0;
    QString also;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--xpad") == 0)
            xpad = true;
        if (std::strcmp(argv[i], "--also") == 0 && i + 1 < argc)
            also = QString::fromLocal8Bit(argv[++i]);
        else if (std::strcmp(argv[i], "--list") == 0 && i + 1 < argc)
            list = std::atoi(argv[++i]);
        if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc)
            std::sscanf(argv[++i], "%dx%d", &width, &height);
        else if (std::strcmp(argv[i], "--chars") == 0 && i + 1 < argc)
            chars = std::atoi(argv[++i]);
    }
    if (xpad)
        return writeXpadPads(path, rows, QSize(width, height), chars);
    try {
        NoteStore::CreateFromSchema(path);
        auto db = TDbConnection::Open(path);
        bool shown = false;
        for (int i = 3; i < argc; ++i) {
            if (std::strcmp(argv[i], "--upgraded") == 0)
                UpgradeSchema(*db);
            if (std::strcmp(argv[i], "--shown") == 0)
                shown = true;
        }
        TTransaction tr(*db);
        const QString text = noteText(chars);
        for (int i = 0; i < rows; ++i)
            db->Exec(QStringLiteral(
                         "insert into notes (id, mynote, form_x, form_y, form_w, form_h, form_trans, "
                         "fontcolor, fontsize, fontname, fontbold, alerttype, shownote, ctime, commited) "
                         "values (?, ?, ?, ?, ?, ?, 160, 0, 9, 'Tahoma', 0, 0, ?, ?, 0)"),
                     {QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(), text, notePlace(i).x(),
                      notePlace(i).y(), width, height, shown ? 1 : 0, NoteStore::NowText()});
        if (!also.isEmpty()) {
            QFile f(also);
            if (!f.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(also));
                return 1;
            }
            db->Exec(QStringLiteral(
                         "insert into notes (id, mynote, form_x, form_y, form_w, form_h, form_trans, "
                         "fontcolor, fontsize, fontname, fontbold, alerttype, shownote, ctime, commited, "
                         "showaslist) values (?, ?, 600, 300, ?, ?, 160, 0, 9, 'Tahoma', 0, 0, 1, ?, 0, ?)"),
                     {QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(),
                      QString::fromUtf8(f.readAll()), width, height, NoteStore::NowText(), list});
        }
        tr.Commit();
    } catch (const TSqlError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
