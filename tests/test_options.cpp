// The options dialog: the autostart entry (created, left alone, replaced,
// removed), show/hide of the notes only on a change, the date stamp formats
// and their examples, and settings that survive in the settings file.

#include "app/uFmMain.h"
#include "data/uAppState.h"
#include "lang/uDateStamp.h"
#include "note/uNoteManager.h"
#include "platform/gui/uWindows.h"
#include "platform/uAutostart.h"
#include "support/NoteTestContext.h"
#include "support/ProgramFolder.h"
#include "support/TestEnv.h"
#include "ui/uFmOptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <gtest/gtest.h>
#include <memory>

TEST(DateStamp, DesktopPatterns) {
    struct Case {
        const char* format;
        QDateTime when;
        const char* expected;
    };
    const QDateTime jan22(QDate(2014, 1, 22), QTime(9, 5, 7));
    const Case cases[] = {
        {"mm.dd", jan22, "01.22"},
        {"yyyy.mm.dd", jan22, "2014.01.22"},
        {"mm.dd hh:mm", jan22, "01.22 09:05"},
        {"yyyy.mm.dd hh:mm", jan22, "2014.01.22 09:05"},
        {"mm.dd", QDateTime(QDate(2026, 3, 5), QTime(23, 59)), "03.05"},
        {"yy-m-d h:n:s", jan22, "14-1-22 9:5:7"},
        {"hh:nn:ss", QDateTime(QDate(2014, 1, 22), QTime(21, 0, 30)), "21:00:30"},
        {"'mm' dd \"at\" hh", jan22, "mm 22 at 09"},
        {"dd/mm", jan22, "22/01"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatDateStamp(QString::fromLatin1(c.format), c.when), QString::fromLatin1(c.expected))
            << c.format;
}

TEST(Autostart, ExecLineQuotingRoundTrips) {
    for (const char* path : {"/opt/zuvo/zuvonote", "/home/a b/Zuvo Note/zuvonote", "/tmp/q\"uote/$HOME/`x`",
                             "/tmp/back\\slash/100%/zuvonote", "/home/用户/zuvonote"}) {
        const QString p = QString::fromUtf8(path);
        EXPECT_EQ(ExecCommand(ExecLineFor(p)), p) << path;
    }
    // Entries written by hand or by other tools.
    EXPECT_EQ(ExecCommand(QStringLiteral("/usr/bin/zuvonote --minimized")),
              QStringLiteral("/usr/bin/zuvonote"));
    // A backslash inside quotes is escaped twice: once for the quoting, once for the value.
    EXPECT_EQ(ExecCommand(QStringLiteral("\"/a\\\\\\\\sb/zuvonote\" %U")), QStringLiteral("/a\\sb/zuvonote"));
}

// What the options dialog writes is a desktop entry every session reads: valid,
// and with the program's own icon, whatever the path holds.
TEST(Autostart, TheWrittenEntryIsValidAndCarriesTheIcon) {
    const QString exe = QStringLiteral("/home/a b/Zuvo \"100%\"/$x/zuvonote");
    ASSERT_TRUE(WriteAutostartEntry(exe));
    const QString text = QString::fromUtf8(testenv::readFile(AutostartFilePath()));
    EXPECT_TRUE(text.split(QLatin1Char('\n')).contains(QStringLiteral("Icon=zuvonote")))
        << text.toStdString();
    // An entry whose program is gone is skipped by the desktop, not run in vain.
    EXPECT_TRUE(text.split(QLatin1Char('\n')).contains(QStringLiteral("TryExec=") + exe))
        << text.toStdString();
    EXPECT_TRUE(AutostartIsFor(exe));
    QProcess validate;
    validate.start(QStringLiteral("desktop-file-validate"), {AutostartFilePath()});
    ASSERT_TRUE(validate.waitForFinished(30000)) << "desktop-file-validate (desktop-file-utils) is needed";
    EXPECT_EQ(validate.exitCode(), 0) << validate.readAllStandardOutput().toStdString() << text.toStdString();
    EXPECT_TRUE(DeleteAutostartEntry());
}

namespace {

// Stands in for a note window, keeping the show and hide messages it gets.
class THostNote : public QWidget {
public:
    std::vector<int> Messages;

protected:
    bool event(QEvent* e) override {
        const int t = int(e->type());
        if (t == WM_SHOWNOTE || t == WM_HIDENOTE) {
            Messages.push_back(t);
            return true;
        }
        return QWidget::event(e);
    }
};

// The dialog on a test context: no main window.
class Options : public ::testing::Test {
protected:
    void SetUp() override {
        Shell = std::make_unique<testenv::TTestNoteContext>();
        Context = Shell->Context();
        OldExe = TFmOptions::ExecutablePath;
        TFmOptions::ExecutablePath = [] { return QStringLiteral("/opt/Zuvo Note/zuvonote"); };
        QFile::remove(AutostartFilePath());
    }
    void TearDown() override {
        TFmOptions::ExecutablePath = OldExe;
        QFile::remove(AutostartFilePath());
        Context.reset();
        Shell.reset();
    }
    void writeEntry(const QString& program, const QByteArray& extra = {}) {
        QDir().mkpath(QFileInfo(AutostartFilePath()).path());
        testenv::writeFile(AutostartFilePath(),
                           "[Desktop Entry]\n# written by hand\nType=Application\nExec=" +
                               ExecLineFor(program).toUtf8() + "\n" + extra);
    }

    std::unique_ptr<testenv::TTestNoteContext> Shell;
    // The context the dialogs are made on.
    TNoteContextPtr Context;
    std::function<QString()> OldExe;
};

// The tray's check mark is the main window's.
using TrayOptions = testenv::TOnStartedMain<Options>;

} // namespace

TEST_F(Options, AutostartEntryFollowsTheBoxOnlyWhereItMustChange) {
    const QString ours = QStringLiteral("/opt/Zuvo Note/zuvonote");
    const QString oursOtherCase = QStringLiteral("/OPT/zuvo note/ZuvoNote");
    const QString other = QStringLiteral("/media/usb/Zuvo Note/zuvonote");
    struct Case {
        const char* name;
        const QString* existing; // null: no entry
        bool openedChecked;
        bool checkAtSave;
        const QString* after; // null: no entry
        bool untouched;       // the file is byte for byte what it was
        const char* extra = "";
    };
    const Case cases[] = {
        {"created", nullptr, false, true, &ours, false},
        {"nothing to do", nullptr, false, false, nullptr, false},
        {"ours, kept", &ours, true, true, &ours, true},
        {"ours in other case, kept", &oursOtherCase, true, true, &oursOtherCase, true},
        {"ours, removed", &oursOtherCase, true, false, nullptr, false},
        {"another copy, left alone", &other, false, false, &other, true},
        {"another copy, replaced", &other, false, true, &ours, false},
        {"ours but hidden, made active", &ours, false, true, &ours, false, "Hidden=true\n"},
        {"ours but switched off, made active", &ours, false, true, &ours, false,
         "X-GNOME-Autostart-enabled=false\n"},
        {"ours but hidden, left off", &ours, false, false, &ours, true, "Hidden=true\n"},
        {"ours, explicitly on", &ours, true, true, &ours, true,
         "Hidden=false\nX-GNOME-Autostart-enabled=true\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(AutostartFilePath());
        if (c.existing)
            writeEntry(*c.existing, c.extra);
        const QByteArray before = c.existing ? testenv::readFile(AutostartFilePath()) : QByteArray();
        TFmOptions d(nullptr, Context);
        EXPECT_EQ(d.chkAutoStart->isChecked(), c.openedChecked);
        d.chkAutoStart->setChecked(c.checkAtSave);
        d.btnSaveClick();
        EXPECT_EQ(d.result(), QDialog::Accepted);
        if (!c.after) {
            EXPECT_FALSE(QFileInfo::exists(AutostartFilePath()));
            continue;
        }
        EXPECT_EQ(ReadAutostartCommand(), *c.after);
        if (c.after == &ours) {
            EXPECT_EQ(AutostartIsFor(ours), c.checkAtSave);
        }
        if (c.untouched) {
            EXPECT_EQ(testenv::readFile(AutostartFilePath()), before);
        }
    }
}

TEST_F(TrayOptions, ShowNotesBroadcastsOnlyOnAChangeAndKeepsTheTrayMarkInStep) {
    THostNote a, b;
    Main->Windows().Register(&a);
    Main->Windows().Register(&b);
    AppState().NoteOptions.FGeneralShowNotesOnDesk = true;
    Main->actShowNotesOnDesk->setChecked(true);
    {
        TFmOptions d(nullptr, Context);
        EXPECT_TRUE(d.chkShowNotes->isChecked());
        d.chkShowNotes->setChecked(false);
        EXPECT_TRUE(a.Messages.empty()); // nothing happens until Save
        d.btnSaveClick();
    }
    EXPECT_EQ(a.Messages, std::vector<int>{WM_HIDENOTE});
    EXPECT_EQ(b.Messages, std::vector<int>{WM_HIDENOTE});
    EXPECT_FALSE(Main->actShowNotesOnDesk->isChecked());
    {
        TFmOptions d(nullptr, Context);
        d.btnSaveClick();
    }
    EXPECT_EQ(a.Messages.size(), 1u);
    {
        TFmOptions d(nullptr, Context);
        d.chkShowNotes->setChecked(true);
        d.btnCancel->click();
    }
    EXPECT_EQ(a.Messages.size(), 1u);
    EXPECT_FALSE(AppState().NoteOptions.FGeneralShowNotesOnDesk);
    {
        TFmOptions d(nullptr, Context);
        d.chkShowNotes->setChecked(true);
        d.btnSaveClick();
    }
    EXPECT_EQ(a.Messages, (std::vector<int>{WM_HIDENOTE, WM_SHOWNOTE}));
    EXPECT_TRUE(Main->actShowNotesOnDesk->isChecked());
}

TEST_F(Options, DateFormatsShowExamplesAndAnUnknownOneSurvivesASave) {
    struct Case {
        const char* stored;
        QRadioButton* TFmOptions::*checked; // null: none
        QRadioButton* TFmOptions::*choose;  // null: leave as opened
        const char* saved;
    };
    const Case cases[] = {
        {"mm.dd", &TFmOptions::rbDFDateShort, nullptr, "mm.dd"},
        {"yyyy.mm.dd", &TFmOptions::rbDFDateLong, &TFmOptions::rbDFDateTimeShort, "mm.dd hh:mm"},
        {"yyyy.mm.dd hh:mm", &TFmOptions::rbDFDateTimeLong, nullptr, "yyyy.mm.dd hh:mm"},
        {"dd/mm/yyyy", nullptr, nullptr, "dd/mm/yyyy"},
        {"MM.DD", nullptr, &TFmOptions::rbDFDateLong, "yyyy.mm.dd"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        AppState().NoteOptions.FconfigInsertDateFormat = QString::fromLatin1(c.stored);
        AppState().NoteOptions.FconfigInsertDateAuto = false;
        TFmOptions d(nullptr, Context);
        for (QRadioButton* r : {d.rbDFDateShort, d.rbDFDateLong, d.rbDFDateTimeShort, d.rbDFDateTimeLong})
            EXPECT_EQ(r->isChecked(), c.checked && r == d.*c.checked);
        if (c.choose)
            (d.*c.choose)->setChecked(true);
        d.chkInsertTimeAuto->setChecked(true);
        d.btnSaveClick();
        TNoteOptions reread;
        reread.LoadFromFile(Shell->Setup.DataFolder() + QStringLiteral("config.ini"));
        EXPECT_EQ(reread.FconfigInsertDateFormat, QString::fromLatin1(c.saved));
        EXPECT_TRUE(reread.FconfigInsertDateAuto);
    }
    TFmOptions d(nullptr, Context);
    const QDate today = QDate::currentDate();
    EXPECT_EQ(d.rbDFDateShort->text(), FormatDateStamp(QStringLiteral("mm.dd"), QDateTime(today, QTime())));
    EXPECT_EQ(d.rbDFDateLong->text(), today.toString(QStringLiteral("yyyy.MM.dd")));
    EXPECT_EQ(d.PageControl1->currentIndex(), 0);
    // Every tab speaks the interface's language (the context's table is English).
    EXPECT_EQ(d.PageControl1->tabText(1), QStringLiteral("&Note Editing"));
}

TEST_F(Options, TheLanguageIsChosenForTheNextStartAndTheDialogSaysSo) {
    AppState().NoteOptions.FconfigLanguage = QStringLiteral("English");
    AppState().InterfaceLanguage = QStringLiteral("English");
    {
        TFmOptions d(nullptr, Context);
        d.show();
        EXPECT_EQ(d.cbbLanguage->currentData().toString(), QStringLiteral("English"));
        EXPECT_EQ(d.lblLanguage->buddy(), d.cbbLanguage);
        EXPECT_TRUE(d.lblLanguageHint->isVisible());
        EXPECT_EQ(d.lblLanguageHint->text(),
                  QStringLiteral("The new language is used the next time Zuvo Note starts."));
        d.cbbLanguage->setCurrentIndex(d.cbbLanguage->findData(QStringLiteral("Chinese")));
        EXPECT_EQ(d.cbbLanguage->currentText(), QStringLiteral("中文"));
        d.btnSaveClick();
    }
    TNoteOptions reread;
    reread.LoadFromFile(Shell->Setup.DataFolder() + QStringLiteral("config.ini"));
    EXPECT_EQ(reread.FconfigLanguage, QStringLiteral("Chinese"));
    // This run goes on in the language it started with.
    EXPECT_EQ(AppState().InterfaceLanguage, QStringLiteral("English"));
    {
        // Opened again, it shows the choice; cancelled, it changes nothing.
        TFmOptions d(nullptr, Context);
        EXPECT_EQ(d.cbbLanguage->currentData().toString(), QStringLiteral("Chinese"));
        d.cbbLanguage->setCurrentIndex(d.cbbLanguage->findData(QStringLiteral("English")));
        d.btnCancel->click();
    }
    EXPECT_EQ(AppState().NoteOptions.FconfigLanguage, QStringLiteral("Chinese"));
    AppState().NoteOptions.FconfigLanguage = QStringLiteral("Chinese");
    AppState().InterfaceLanguage.clear();
}

TEST_F(Options, PortableVersionOpensItsPage) {
    const auto old = TFmOptions::OpenUrlHook;
    QStringList opened;
    TFmOptions::OpenUrlHook = [&](const QString& url) { opened << url; };
    TFmOptions d(nullptr, Context);
    d.btnCreateGreenVersion->click();
    TFmOptions::OpenUrlHook = old;
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened[0].endsWith(QStringLiteral("/greenversion.php?clang=1033")))
        << opened[0].toStdString();
    EXPECT_NE(d.result(), QDialog::Accepted);
}
