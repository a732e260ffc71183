// Notes brought over from other sticky-notes programs: the per-note info and
// content files of one, the maildir of MIME messages of the other.

#include "app/uImportNotes.h"
#include "data/uNoteImport.h"
#include "support/NoteWindowFixture.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

const QList<qint32> kPalette = {0x3EEAFE, 0xFFEF89, 0xFDB59B, 0x82FD83, 0xB2B2FD, 0xFFFFFF, 0xDADADA};

void write(const QString& dir, const char* name, const QByteArray& bytes) {
    const QString path = dir + QLatin1Char('/') + QLatin1String(name);
    QDir().mkpath(QFileInfo(path).path());
    testenv::writeFile(path, bytes);
}

QStringList texts(const TImportScan& scan) {
    QStringList out;
    for (const TImportedNote& n : scan.Notes)
        out.append(n.Text);
    return out;
}

} // namespace

TEST(NoteImport, ColoursInTheFormsToolkitsWrite) {
    const struct {
        const char* Text;
        std::optional<qint32> Expected;
    } cases[] = {
        {"rgb:ffff/eeee/cccc", 0xCCEEFF},
        {"rgb:f/e/c", 0xCCEEFF},
        {"rgb(255,238,204)", 0xCCEEFF},
        {"rgba(255, 238, 204, 0.8)", 0xCCEEFF},
        {"#ffeecc", 0xCCEEFF},
        {"#FFFFEEEECCCC", 0xCCEEFF},
        {"65535 61166 52428", 0xCCEEFF},
        {"255 0 0", 0x0000FF},
        {"rgb(300,0,0)", std::nullopt},
        {"yellow", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NoteImport::ParseColor(QLatin1String(c.Text)), c.Expected) << c.Text;
}

TEST(NoteImport, InfoAndContentFilesGiveTextSizeColoursAndFont) {
    const QString dir = testenv::freshDir(QStringLiteral("import-info"));
    write(dir, "info-ABC123",
          "width 310\nheight 180\nx 40\ny 700\nfollow_font 0\nfollow_color 0\nsticky 0\nhidden 0\n"
          "back rgb:9b9b/b5b5/fdfd\ntext rgb:2020/4040/6060\nfontname DejaVu Sans Bold 12\n"
          "content content-ABC123\n");
    write(dir, "content-ABC123", "Buy milk\nand bread \xe2\x80\x94 today\n\n");
    // An older info file names no content file: the shared suffix finds it.
    write(dir, "info-OLD", "width 50\nheight 10\nback 65535 65535 65535\n");
    write(dir, "content-OLD", "tiny");
    // A note whose content file is gone is named, not fatal.
    write(dir, "info-LOST", "width 200\ncontent content-LOST\n");

    const TImportScan scan = NoteImport::Scan(dir);
    ASSERT_EQ(scan.Notes.size(), 2);
    const TImportedNote& a = scan.Notes[0];
    EXPECT_EQ(a.Text, QString::fromUtf8("Buy milk\nand bread \xe2\x80\x94 today"));
    EXPECT_EQ(a.Width, 310);
    EXPECT_EQ(a.Height, 180);
    EXPECT_EQ(a.BackColor, 0xFDB59B);
    EXPECT_EQ(a.TextColor, 0x604020);
    EXPECT_EQ(a.FontName, QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(a.FontSize, 12);
    EXPECT_TRUE(a.FontBold);
    ASSERT_EQ(scan.Unreadable.size(), 1);
    EXPECT_TRUE(scan.Unreadable[0].contains(QStringLiteral("content-LOST")));

    // The record of the new note: nearest palette entry, sizes no smaller than a note may be.
    const TNoteItem item = NoteImport::ToNoteItem(a, QStringLiteral("ID1"), kPalette);
    EXPECT_EQ(item.NoteID, QStringLiteral("ID1"));
    EXPECT_EQ(item.NNote, a.Text);
    EXPECT_EQ(item.BGColorIdx, 2);
    EXPECT_EQ(item.FontColor, 0x604020);
    EXPECT_EQ(std::tuple(item.FmW, item.FmH, item.FontName, item.FontSize, item.FontBold),
              std::tuple(310, 180, QStringLiteral("DejaVu Sans"), 12, 1));
    const TNoteItem tiny = NoteImport::ToNoteItem(scan.Notes[1], QStringLiteral("ID2"), kPalette);
    EXPECT_EQ(std::tuple(tiny.FmW, tiny.FmH, tiny.BGColorIdx), std::tuple(120, 40, 5));
    TImportedNote bare;
    bare.Text = QStringLiteral("x");
    const TNoteItem plain = NoteImport::ToNoteItem(bare, QStringLiteral("ID3"), kPalette);
    EXPECT_EQ(std::tuple(plain.FmW, plain.FmH, plain.BGColorIdx, plain.FontName, plain.FontSize),
              std::tuple(220, 100, 0, QStringLiteral("Tahoma"), 9));

    // One info file chosen on its own brings its content along.
    EXPECT_EQ(texts(NoteImport::Scan(dir + QStringLiteral("/info-OLD"))), QStringList{"tiny"});
}

TEST(NoteImport, PadsThatFollowTheDefaultStyleTakeItsColoursAndFont) {
    const QByteArray style = "back #83fd82\ntext rgb:0000/0000/ffff\nfontname Serif Italic 14\n";
    const QByteArray own = "back rgb:dada/dada/dada\ntext rgb:1010/1010/1010\nfontname Sans 9\n";
    const struct {
        const char* What;
        QByteArray Follow;
        QByteArray Style;
        qint32 Back;
        qint32 Text;
        const char* Font;
        int Size;
    } cases[] = {
        {"follows both", "follow_color 1\nfollow_font 1\n", style, 0x82FD83, 0xFF0000, "Serif", 14},
        {"follows the colours only", "follow_color 1\nfollow_font 0\n", style, 0x82FD83, 0xFF0000, "Sans", 9},
        {"follows the font only", "follow_color 0\nfollow_font 1\n", style, 0xDADADA, 0x101010, "Serif", 14},
        {"its own look", "follow_color 0\nfollow_font 0\n", style, 0xDADADA, 0x101010, "Sans", 9},
        {"no follow lines (older files)", "", style, 0xDADADA, 0x101010, "Sans", 9},
        {"follows, but no default-style file",
         "follow_color 1\nfollow_font 1\n",
         {},
         0xDADADA,
         0x101010,
         "Sans",
         9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        const TImportedNote n = NoteImport::ParseInfoFile(c.Follow + own, "text", c.Style);
        EXPECT_EQ(n.BackColor, c.Back);
        EXPECT_EQ(n.TextColor, c.Text);
        EXPECT_EQ(n.FontName, QLatin1String(c.Font));
        EXPECT_EQ(n.FontSize, c.Size);
    }

    // Scanned from a folder, the shared file beside the pads is found, and is no note itself.
    const QString dir = testenv::freshDir(QStringLiteral("import-follow"));
    write(dir, "default-style", style);
    write(dir, "info-P1", "follow_color 1\nfollow_font 1\n" + own + "content content-P1\n");
    write(dir, "content-P1", "yellow pad");
    const TImportScan scan = NoteImport::Scan(dir);
    ASSERT_EQ(scan.Notes.size(), 1);
    EXPECT_TRUE(scan.Unreadable.isEmpty());
    EXPECT_EQ(scan.Notes[0].BackColor, 0x82FD83);
    EXPECT_EQ(NoteImport::ToNoteItem(scan.Notes[0], QStringLiteral("ID"), kPalette).BGColorIdx, 3);
    // A single info file chosen on its own still finds it.
    EXPECT_EQ(NoteImport::Scan(dir + QStringLiteral("/info-P1")).Notes.value(0).BackColor, 0x82FD83);
}

TEST(NoteImport, MessagesOfANotesMaildir) {
    const QString dir = testenv::freshDir(QStringLiteral("import-maildir"));
    // Plain text, the subject repeated as the first line of the body.
    write(dir, "cur/1.mail",
          "Subject: Shopping\nMIME-Version: 1.0\nContent-Type: text/plain; charset=\"utf-8\"\n\n"
          "Shopping\nmilk\n");
    // Encoded-word subject, quoted-printable Latin-1 body, CRLF line ends, folded headers.
    write(dir, "cur/2.mail",
          "Subject: =?UTF-8?B?RGVudGlzdCDwn6a3?=\r\n =?utf-8?q?_at_nine?=\r\nContent-Type: text/plain;\r\n"
          " charset=iso-8859-1\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
          "Caf=E9 after, long line=\r\n joined\r\n");
    // Rich text only: HTML turned into lines of text.
    write(dir, "new/3.mail",
          "Subject: Ideas\nContent-Type: text/html; charset=utf-8\nContent-Transfer-Encoding: base64\n\n" +
              QByteArray("<html><head><style>p{}</style></head><body><p>One &amp; two</p><p>x &lt; y&#33;"
                         "<br>third</p></body></html>")
                  .toBase64() +
              "\n");
    // Both kinds in one message: the plain part wins.
    write(dir, "new/4.mail",
          "Subject: Both\nContent-Type: multipart/alternative; boundary=\"b1\"\n\npreamble\n--b1\n"
          "Content-Type: text/html\n\n<p>html text</p>\n--b1\nContent-Type: text/plain\n\nplain "
          "text\n--b1--\n");
    // Title only.
    write(dir, "new/5.mail", "Subject: Call Ann\n\n");
    // Not a message at all.
    write(dir, "new/6.mail", QByteArray("\x00\x01\x02 binary", 10));
    write(dir, "tmp/7.mail", "Subject: being written\n\nignored");

    const TImportScan scan = NoteImport::Scan(dir);
    EXPECT_EQ(texts(scan),
              QStringList(
                  {QStringLiteral("Shopping\nmilk"),
                   QString::fromUtf8("Dentist \xf0\x9f\xa6\xb7 at nine\nCaf\xc3\xa9 after, long line joined"),
                   QStringLiteral("Ideas\nOne & two\nx < y!\nthird"), QStringLiteral("Both\nplain text"),
                   QStringLiteral("Call Ann")}));
    ASSERT_EQ(scan.Unreadable.size(), 1);
    EXPECT_TRUE(scan.Unreadable[0].contains(QStringLiteral("6.mail")));

    // One message file on its own.
    EXPECT_EQ(texts(NoteImport::Scan(dir + QStringLiteral("/new/5.mail"))), QStringList{"Call Ann"});
}

TEST(NoteImport, NothingToReadIsSaidNotFailed) {
    const QString dir = testenv::freshDir(QStringLiteral("import-none"));
    write(dir, "readme.txt", "just a text file, no header block");
    write(dir, "content-ORPHAN", "");
    const TImportScan folder = NoteImport::Scan(dir);
    EXPECT_TRUE(folder.Notes.isEmpty());
    EXPECT_TRUE(folder.Unreadable.isEmpty());

    const TImportScan missing = NoteImport::Scan(dir + QStringLiteral("/nope"));
    EXPECT_TRUE(missing.Notes.isEmpty());
    ASSERT_EQ(missing.Unreadable.size(), 1);

    // Deep nesting and an unterminated encoded word neither hang nor crash.
    QByteArray deep = "Subject: deep\n";
    for (int i = 0; i < 50; ++i)
        deep += "Content-Type: multipart/mixed; boundary=b" + QByteArray::number(i) + "\n\n--b" +
                QByteArray::number(i) + "\n";
    const auto note = NoteImport::ParseNoteMessage(deep);
    ASSERT_TRUE(note);
    EXPECT_EQ(note->Text, QStringLiteral("deep"));
    const auto broken = NoteImport::ParseNoteMessage("Subject: =?utf-8?B?broken\n\nbody");
    ASSERT_TRUE(broken);
    EXPECT_EQ(broken->Text, QStringLiteral("=?utf-8?B?broken\nbody"));
}

namespace {

class ImportIntoStoreTest : public testenv::NoteWindowFixture {};

} // namespace

TEST_F(ImportIntoStoreTest, ImportedNotesArePendingShownAndPlacedAsNewNotes) {
    Start("[General]\nShowNotesOnDesk=0\n", [](TDbConnection& db) {
        AddRow(db, QStringLiteral("MINE"), QStringLiteral("already here"), QRect(1050, 10, 220, 100));
    });
    EXPECT_EQ(Main->actImportNotes->text(), QStringLiteral("&Import Notes..."));
    EXPECT_TRUE(Main->pmTray->actions().contains(Main->actImportNotes));
    for (TFmNote* n : TFmMain::NoteWindows())
        n->show();

    const QString dir = testenv::freshDir(QStringLiteral("import-into"));
    write(dir, "info-1", "width 220\nheight 100\nback rgb(131,253,130)\n");
    write(dir, "content-1", "first imported");
    write(dir, "info-2", "");
    write(dir, "content-2", "second imported");
    const TImportOutcome outcome = ImportNotes(*Main, dir);
    EXPECT_EQ(outcome.Imported, 2);
    EXPECT_TRUE(outcome.StoreError.isEmpty());

    const TRowSet rows =
        Main->Db().Select(QStringLiteral("select * from notes where id<>'MINE' order by mynote"));
    ASSERT_EQ(rows.rowCount(), 2);
    QList<QRect> places{QRect(1050, 10, 220, 100)};
    for (int r = 0; r < 2; ++r) {
        EXPECT_EQ(rows.asInt(r, QStringLiteral("commited")), 0);
        EXPECT_EQ(rows.asInt(r, QStringLiteral("shownote")), 1);
        const QRect place(rows.asInt(r, QStringLiteral("form_x")), rows.asInt(r, QStringLiteral("form_y")),
                          rows.asInt(r, QStringLiteral("form_w")), rows.asInt(r, QStringLiteral("form_h")));
        for (const QRect& other : places)
            EXPECT_FALSE(place.intersects(other)) << r;
        places.append(place);
    }
    EXPECT_EQ(rows.asText(0, QStringLiteral("mynote")), QStringLiteral("first imported"));
    EXPECT_EQ(rows.asInt(0, QStringLiteral("bgcolorindex")), 3);
    // Shown although notes are off the desktop: the user asked for them.
    int shown = 0;
    for (TFmNote* n : TFmMain::NoteWindows())
        if (n->isVisible() && n->NoteText().endsWith(QLatin1String("imported")))
            ++shown;
    EXPECT_EQ(shown, 2);

    ImportNotesAndReport(*Main, dir + QStringLiteral("/nothing-here"));
    ASSERT_FALSE(Boxes.isEmpty());
    EXPECT_TRUE(Boxes.last().contains(QStringLiteral("No notes were found"))) << Boxes.last().toStdString();
    EXPECT_TRUE(Boxes.last().contains(QStringLiteral("could not be read"))) << Boxes.last().toStdString();
}
