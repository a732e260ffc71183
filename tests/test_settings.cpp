// config.ini through TIniFile and TNoteOptions: defaults, the platform's INI
// reading rules, and saves that keep what they do not own.

#include "data/uNoteOptions.h"
#include "shared/uIniFile.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

QString iniWith(const QByteArray& bytes) {
    const QString path = testenv::freshDir(QStringLiteral("ini")) + QStringLiteral("/config.ini");
    testenv::writeFile(path, bytes);
    return path;
}

TNoteOptions load(const QByteArray& bytes) {
    TNoteOptions o;
    o.LoadFromFile(iniWith(bytes));
    return o;
}

void expectDefaults(const TNoteOptions& o) {
    const TNoteOptions d;
    EXPECT_EQ(o.FconfigLanguage, QStringLiteral("Chinese"));
    EXPECT_EQ(o.FconfigInsertDateFormat, QStringLiteral("mm.dd"));
    EXPECT_TRUE(o.FGeneralShowNotesOnDesk);
    EXPECT_TRUE(o.FGeneralShowHideNoteHint);
    EXPECT_FALSE(o.FconfigAutoHideNote);
    EXPECT_FALSE(o.FconfigInsertDateAuto);
    EXPECT_FALSE(o.FconfigVersion);
    EXPECT_TRUE(o.FconfigPcID.isEmpty());
    EXPECT_TRUE(o.FconfigUserID.isEmpty());
}

} // namespace

TEST(Settings, MissingKeysTakeTheirDefaults) {
    const TNoteOptions o = load("[config]\nUserID=123\n");
    EXPECT_EQ(o.FconfigUserID, QStringLiteral("123"));
    EXPECT_EQ(o.FconfigLanguage, QStringLiteral("Chinese"));
    EXPECT_TRUE(o.FGeneralShowNotesOnDesk);
    EXPECT_TRUE(o.FGeneralShowHideNoteHint);

    TNoteOptions missing;
    missing.LoadFromFile(testenv::root() + QStringLiteral("/no-such/config.ini"));
    expectDefaults(missing);
    missing.LoadSettings(nullptr); // no file object: nothing happens
    expectDefaults(missing);
}

TEST(Settings, BooleansReadAnyNonZeroIntegerAsTrueAndTextAsTheDefault) {
    struct TCase {
        const char* Value;
        bool ShowNotes; // default true
        bool AutoHide;  // default false
    };
    const TCase cases[] = {
        {"yes", true, false}, {"2", true, true},   {"0", false, false},  {"-1", true, true},
        {"", true, false},    {" 1 ", true, true}, {"1.0", true, false}, {"0x1", true, false},
    };
    for (const TCase& c : cases) {
        const TNoteOptions o = load(QByteArray("[General]\nShowNotesOnDesk=") + c.Value +
                                    "\n[config]\nAutoHideNote=" + c.Value + "\n");
        EXPECT_EQ(o.FGeneralShowNotesOnDesk, c.ShowNotes) << c.Value;
        EXPECT_EQ(o.FconfigAutoHideNote, c.AutoHide) << c.Value;
    }
}

TEST(Settings, NamesMatchWithoutCaseAndTheFirstDuplicateWins) {
    const TNoteOptions o = load("; comment\r\n[CONFIG]\r\n  language = English \r\nLANGUAGE=German\r\n"
                                "userid=\"42\"\r\n[general]\r\nshownotesondesk=0\r\n[Config]\r\nPcID=P\r\n");
    EXPECT_EQ(o.FconfigLanguage, QStringLiteral("English"));
    EXPECT_EQ(o.FconfigUserID, QStringLiteral("42")); // one pair of enclosing quotes is removed
    EXPECT_FALSE(o.FGeneralShowNotesOnDesk);
    EXPECT_EQ(o.FconfigPcID, QStringLiteral("P")); // a repeated section adds to the first
}

TEST(Settings, GarbageReadsAsDefaultsAndSurvivesASave) {
    QByteArray junk(8192, '\0');
    QRandomGenerator rng(7);
    for (char& c : junk)
        c = char(rng.bounded(256));
    const QString path = iniWith(junk);
    TNoteOptions o;
    o.LoadFromFile(path);
    expectDefaults(o);
    o.FconfigUserID = QStringLiteral("9");
    ASSERT_TRUE(o.SaveToFile(path));
    TNoteOptions back;
    back.LoadFromFile(path);
    EXPECT_EQ(back.FconfigUserID, QStringLiteral("9"));
}

TEST(Settings, SaveWritesAllThirteenKeysAndKeepsEverythingElseInOrder) {
    const QString path = iniWith("[Other]\nkeep=me\n\n[config]\nUnknown=stay\nUserName=old\n\n[Tail]\nx=1\n");
    TNoteOptions o;
    o.LoadFromFile(path);
    o.FconfigUserName = QStringLiteral("new name");
    o.FconfigInsertDateAuto = true;
    o.FGeneralShowNotesOnDesk = false;
    ASSERT_TRUE(o.SaveToFile(path));

    const QString text = QString::fromUtf8(testenv::readFile(path));
    EXPECT_TRUE(
        text.startsWith(QStringLiteral("[Other]\nkeep=me\n\n[config]\nUnknown=stay\nUserName=new name\n")))
        << text.toStdString();
    EXPECT_LT(text.indexOf(QStringLiteral("[config]")), text.indexOf(QStringLiteral("[Tail]")));
    for (const char* key : {"Language=Chinese", "AffId=", "PcID=", "UserID=", "UserName=new name",
                            "UserPass=", "RefererID=", "Version=0", "AutoHideNote=0", "InsertDateAuto=1",
                            "InsertDateFormat=mm.dd", "ShowNotesOnDesk=0", "ShowHideNoteHint=1"})
        EXPECT_TRUE(text.contains(QLatin1String(key))) << key;
    // The new keys sit inside their section, before the blank line that ends it.
    EXPECT_LT(text.indexOf(QStringLiteral("InsertDateFormat")), text.indexOf(QStringLiteral("[Tail]")));
    EXPECT_TRUE(text.contains(QStringLiteral("[General]\nShowNotesOnDesk=0\nShowHideNoteHint=1\n")));

    TNoteOptions back;
    back.LoadFromFile(path);
    EXPECT_EQ(back.FconfigUserName, QStringLiteral("new name"));
    EXPECT_TRUE(back.FconfigInsertDateAuto);
    EXPECT_FALSE(back.FGeneralShowNotesOnDesk);
}

TEST(Settings, SavedValuesStayOnOneLine) {
    const QString path = iniWith("");
    TNoteOptions o;
    o.FconfigUserName = QStringLiteral("two\nlines\r\n[config]\nUserID=1");
    ASSERT_TRUE(o.SaveToFile(path));
    TNoteOptions back;
    back.LoadFromFile(path);
    EXPECT_TRUE(back.FconfigUserID.isEmpty());
    EXPECT_FALSE(back.FconfigUserName.contains(QLatin1Char('\n')));
}

TEST(Settings, AFailedSaveLeavesTheOldFileWhole) {
    // Two folders that refuse a temporary file beside the settings: one made
    // read-only, and one where the file's name leaves no room for the longer
    // name of a temporary file (a limit of the file system that holds for
    // root too, where making a folder read-only may not be possible).
    const QString dir = testenv::freshDir(QStringLiteral("rosave"));
    const QString longName = dir + QLatin1Char('/') + QString(250, QLatin1Char('c'));
    for (const bool readOnly : {true, false}) {
        SCOPED_TRACE(readOnly ? "read-only folder" : "no room for a temporary name");
        const QString path = readOnly ? dir + QStringLiteral("/config.ini") : longName;
        testenv::writeFile(path, "[config]\nUserID=5\n");
        TNoteOptions o;
        o.LoadFromFile(path);
        o.FconfigUserID = QStringLiteral("6");
        if (readOnly) {
            testenv::TReadOnly ro(dir);
            if (!ro.ok())
                continue; // root where the file system cannot make a folder immutable
            EXPECT_FALSE(o.SaveToFile(path));
        } else {
            EXPECT_FALSE(o.SaveToFile(path));
        }
        EXPECT_EQ(testenv::readFile(path), QByteArray("[config]\nUserID=5\n"));
    }
}
