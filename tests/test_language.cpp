// The language table: its shape, how a language file fills it, and the two
// language files that ship with the program.

#include "lang/uLanguageObject.h"
#include "shared/uIniFile.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <gtest/gtest.h>
#include <ostream>
#include <utility>
#include <vector>

namespace {

QString sec(const TLanguageObject::TKey& k) {
    return QLatin1String(k.Section);
}
QString key(const TLanguageObject::TKey& k) {
    return QLatin1String(k.Key);
}
QString def(const TLanguageObject::TKey& k) {
    return QString::fromUtf8(k.Default);
}
QString id(const TLanguageObject::TKey& k) {
    return sec(k) + QLatin1Char('.') + key(k);
}

QString writeLng(const QString& dirName, const QByteArray& bytes) {
    const QString path =
        TLanguageObject::LanguageFilePath(testenv::freshDir(dirName), QStringLiteral("Test"));
    QDir().mkpath(QFileInfo(path).absolutePath());
    testenv::writeFile(path, bytes);
    return path;
}

QByteArray utf16le(const QString& text) {
    QByteArray out("\xFF\xFE", 2);
    out.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    return out;
}

void expectAllDefaultsExcept(const TLanguageObject& lang, const QSet<QString>& changed) {
    for (const auto& k : TLanguageObject::Keys()) {
        if (!changed.contains(id(k))) {
            EXPECT_EQ(lang.Text(sec(k), key(k)), def(k)) << qPrintable(id(k));
        }
    }
}

} // namespace

// Readable failure messages for texts.
void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

TEST(LanguageTable, SectionsAndKeysInLoadOrder) {
    const std::vector<std::pair<QString, int>> expected = {
        {"FmMain", 14},         {"FmNote", 42},          {"FmDelAlert", 3},     {"FmSetTrans", 2},
        {"FmFont", 6},          {"FmSetTextColor", 2},   {"FmAlertSetup", 12},  {"FmNoteManager", 3},
        {"FmFeedback", 12},     {"FmLogin", 24},         {"FmOptions", 13},     {"FmUserInfo", 7},
        {"FmSelectWeekday", 1}, {"FmSelectMonthday", 1}, {"FmRegister", 31},    {"FmAlertWindow", 3},
        {"FmLogout", 5},        {"FmHint", 3},           {"FmQrcodeDL", 1},     {"FmUpdateHistory", 1},
        {"Others", 15},         {"StoreBackup", 2},      {"FmMissedAlerts", 6}, {"FmImport", 6}};

    std::vector<std::pair<QString, int>> actual;
    QSet<QString> seen;
    for (const auto& k : TLanguageObject::Keys()) {
        if (actual.empty() || actual.back().first != sec(k))
            actual.emplace_back(sec(k), 0);
        ++actual.back().second;
        EXPECT_FALSE(seen.contains(id(k).toLower())) << "duplicate " << qPrintable(id(k));
        seen.insert(id(k).toLower());
        EXPECT_FALSE(def(k).isEmpty()) << qPrintable(id(k));
        EXPECT_EQ(TLanguageObject::DefaultText(sec(k), key(k)), def(k));
    }
    EXPECT_EQ(actual, expected); // also catches a section split in two
    EXPECT_EQ(TLanguageObject::KeyCount(), 215);

    // The odd spellings are what existing files use.
    for (const char* k :
         {"FmNote.confrimDeleteNote", "FmOptions.btnCreateGreenVersion_Captino",
          "FmAlertSetup.grpAlertSetup_caption", "Others.title_monday", "FmFeedback.errUnknowError"})
        EXPECT_TRUE(seen.contains(QString::fromLatin1(k).toLower())) << k;
}

TEST(LanguageTable, EveryAccessorReadsItsOwnKey) {
    // A file that gives every key a distinct text shows whether each field is
    // filled from, and looked up under, its own section and key.
    QByteArray file;
    QString cur;
    for (const auto& k : TLanguageObject::Keys()) {
        if (sec(k) != cur) {
            cur = sec(k);
            file += "[" + cur.toUtf8() + "]\n";
        }
        file += key(k).toUtf8() + "=<" + id(k).toUtf8() + ">\n";
    }
    TLanguageObject lang;
    ASSERT_TRUE(lang.LoadFromFile(writeLng("every", file)));
    for (const auto& k : TLanguageObject::Keys())
        EXPECT_EQ(lang.Text(sec(k), key(k)), QLatin1Char('<') + id(k) + QLatin1Char('>'));

    // Same key in different sections stays apart.
    EXPECT_EQ(lang.FmMainactClose_Caption(), "<FmMain.actClose_Caption>");
    EXPECT_EQ(lang.FmNoteactClose_Caption(), "<FmNote.actClose_Caption>");
    EXPECT_EQ(lang.FmSetTranschkApply2AllNote_Caption(), "<FmSetTrans.chkApply2AllNote_Caption>");
    EXPECT_EQ(lang.OtherschkApply2AllNote_Caption(), "<Others.chkApply2AllNote_Caption>");
    EXPECT_EQ(lang.Otherstitle_Sunday(), "<Others.title_Sunday>");

    lang.SetFmMainactClose_Caption(QStringLiteral("Bye"));
    EXPECT_EQ(lang.Text("FmMain", "actClose_Caption"), "Bye");
    EXPECT_EQ(lang.FmNoteactClose_Caption(), "<FmNote.actClose_Caption>");
}

TEST(LanguageTable, StaysEmptyUntilAFileIsRead) {
    TLanguageObject fresh;
    TLanguageObject missing;
    EXPECT_FALSE(missing.LoadFromFile(testenv::freshDir("missing") + "/languages/Nowhere.lng"));
    TLanguageObject fromNull;
    fromNull.LoadSettings(nullptr);

    for (const TLanguageObject* lang : {&fresh, &missing, &fromNull})
        for (const auto& k : TLanguageObject::Keys())
            EXPECT_TRUE(lang->Text(sec(k), key(k)).isEmpty()) << qPrintable(id(k));

    // Reading nothing keeps what was there.
    TLanguageObject kept;
    kept.SetOtherstitle_dlgerror(QStringLiteral("Oops"));
    kept.LoadSettings(nullptr);
    EXPECT_FALSE(kept.LoadFromFile(testenv::freshDir("missing2") + "/x.lng"));
    EXPECT_EQ(kept.Otherstitle_dlgerror(), "Oops");

    EXPECT_TRUE(fresh.Text("FmMain", "noSuchKey").isEmpty());
    EXPECT_TRUE(TLanguageObject::DefaultText("NoSection", "Caption").isEmpty());
}

TEST(LanguageTable, MissingKeysTakeTheEnglishText) {
    TLanguageObject lang;
    ASSERT_TRUE(lang.LoadFromFile(writeLng("quit", "[FmMain]\nactClose_Caption=Quit\n")));
    EXPECT_EQ(lang.FmMainactClose_Caption(), "Quit");
    EXPECT_EQ(lang.FmNoteactClose_Caption(), "E&xit");
    EXPECT_EQ(lang.FmNotehideNoteConfirm(),
              "You will never see the note on THIS computer, confirm hide(You can display it again in \"Note "
              "Manager\")?");
    expectAllDefaultsExcept(lang, {"FmMain.actClose_Caption"});

    // A key that is present but empty is an empty text, not a missing key; keys
    // and sections the table does not know are ignored.
    TLanguageObject blank;
    ASSERT_TRUE(blank.LoadFromFile(
        writeLng("blank", "[FmNote]\naudioStopCaption=\nunknownKey=x\n[NoSuchForm]\nCaption=y\n")));
    EXPECT_EQ(blank.FmNoteaudioStopCaption(), "");
    expectAllDefaultsExcept(blank, {"FmNote.audioStopCaption"});
}

TEST(LanguageTable, FileReadingRules) {
    const QString longText(3000, QLatin1Char('w'));
    const QString chinese = QString::fromUtf8("退出");
    struct Case {
        const char* name;
        QByteArray bytes;
        QString section, key, expected;
    };
    const std::vector<Case> cases = {
        {"names ignore case", "[fmmain]\nACTCLOSE_caption=Quit\n", "FmMain", "actClose_Caption", "Quit"},
        {"names ignore case 2", "[OTHERS]\nTitle_Monday=Mon\n", "Others", "title_monday", "Mon"},
        {"utf-16 with bom",
         utf16le(QStringLiteral("[FmMain]\r\nactClose_Caption=") + chinese + QStringLiteral("\r\n")),
         "FmMain", "actClose_Caption", chinese},
        {"utf-16 odd trailing byte",
         utf16le(QStringLiteral("[FmMain]\r\nactClose_Caption=") + chinese) + QByteArray(1, 'x'), "FmMain",
         "actClose_Caption", chinese},
        {"utf-8 without bom", "[FmMain]\nactClose_Caption=" + chinese.toUtf8() + "\n", "FmMain",
         "actClose_Caption", chinese},
        {"utf-8 with bom", "\xEF\xBB\xBF[FmMain]\nactClose_Caption=" + chinese.toUtf8() + "\n", "FmMain",
         "actClose_Caption", chinese},
        {"blanks around names and value", "  [ FmMain ]  \n  actClose_Caption  =  Quit now  \n", "FmMain",
         "actClose_Caption", "Quit now"},
        {"overlong value is cut", "[FmMain]\nactClose_Caption=" + longText.toUtf8() + "\n", "FmMain",
         "actClose_Caption", longText.left(TIniFile::kMaxValueLength)},
        {"repeated section merges", "[FmMain]\n[FmNote]\n[fmMAIN]\nactClose_Caption=Q\n", "FmMain",
         "actClose_Caption", "Q"},
        {"key before any section is not read", "actClose_Caption=Nope\n[FmMain]\n", "FmMain",
         "actClose_Caption", "E&xit"},
        {"placeholders kept", "[FmLogout]\ngrpLogout_Caption=Signed in as %s?\n", "FmLogout",
         "grpLogout_Caption", "Signed in as %s?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TLanguageObject lang;
        ASSERT_TRUE(lang.LoadFromFile(writeLng("rules", c.bytes)));
        EXPECT_EQ(lang.Text(c.section, c.key), c.expected);
        // Lookup by name ignores case as well.
        EXPECT_EQ(lang.Text(c.section.toUpper(), c.key.toLower()), c.expected);
        expectAllDefaultsExcept(lang, {c.section + QLatin1Char('.') + c.key});
    }
}

// Disabled until the INI reader keeps the first of duplicate keys when it parses
// (it keeps the last one today).
TEST(LanguageTable, FirstOfDuplicateKeysWins) {
    TLanguageObject lang;
    ASSERT_TRUE(
        lang.LoadFromFile(writeLng("dup", "[FmMain]\nactClose_Caption=First\nactclose_caption=Second\n")));
    EXPECT_EQ(lang.FmMainactClose_Caption(), "First");
    const TIniFile ini = TIniFile::fromBytes("[a]\nk=1\nK=2\n");
    EXPECT_EQ(ini.ReadString("A", "k", "-"), "1");
}

TEST(LanguageTable, ShippedFilesAreComplete) {
    for (const char* language : {"English", "Chinese"}) {
        SCOPED_TRACE(language);
        const QString path = TLanguageObject::LanguageFilePath(testenv::binDir(), QLatin1String(language));
        ASSERT_TRUE(QFile::exists(path)) << qPrintable(path);
        const TIniFile ini(path);
        TLanguageObject lang;
        ASSERT_TRUE(lang.LoadFromFile(path));
        for (const auto& k : TLanguageObject::Keys()) {
            EXPECT_TRUE(ini.valueExists(sec(k), key(k))) << "missing " << qPrintable(id(k));
            const QString text = lang.Text(sec(k), key(k));
            EXPECT_FALSE(text.isEmpty()) << qPrintable(id(k));
            // The code fills the placeholders, so a translation must keep them.
            EXPECT_EQ(text.count(QLatin1String("%s")), def(k).count(QLatin1String("%s")))
                << qPrintable(id(k));
        }
        // The alarm window tells play from stop by the caption.
        EXPECT_NE(lang.FmNoteaudioPlayCaption(), lang.FmNoteaudioStopCaption());
    }

    TLanguageObject english;
    ASSERT_TRUE(english.LoadFromFile(TLanguageObject::LanguageFilePath(testenv::binDir(), "English")));
    expectAllDefaultsExcept(english, {});

    const QString chinesePath = TLanguageObject::LanguageFilePath(testenv::binDir(), "Chinese");
    const QByteArray raw = testenv::readFile(chinesePath);
    ASSERT_TRUE(raw.startsWith("\xFF\xFE"));
    const QString text =
        QString::fromUtf16(reinterpret_cast<const char16_t*>(raw.constData() + 2), (raw.size() - 2) / 2);
    EXPECT_EQ(text.count(QLatin1String("\r\n")), text.count(QLatin1Char('\n')));
    TLanguageObject chinese;
    ASSERT_TRUE(chinese.LoadFromFile(chinesePath));
    EXPECT_EQ(chinese.FmMainactClose_Caption(), QString::fromUtf8("退出(&X)"));
    EXPECT_TRUE(chinese.FmMainhint_CreateGreenVersion().contains(QString::fromUtf8("Zuvo便签")));
}
