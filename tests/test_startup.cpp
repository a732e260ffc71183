// The hidden main window's start-up: folders and templates, the store, the
// settings, the computer identity, the language table and the timers.

#include "app/uFmMain.h"
#include "app/uZuvoApplication.h"
#include "data/uAppState.h"
#include "data/uNoteStore.h"
#include "lang/uInterfaceLanguage.h"
#include "lang/uLanguageObject.h"
#include "note/uFmNote.h"
#include "platform/gui/uAppIcon.h"
#include "platform/gui/uWindows.h"
#include "shared/uIniFile.h"
#include "support/ProgramFolder.h"
#include "support/TestEnv.h"
#include "sync/uPushChannel.h"
#include "sync/uSyncController.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QSystemTrayIcon>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using testenv::MakeProgramSetup;
using testenv::TProgramSetup;

namespace {

const QRegularExpression
    kGuid(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));

QString pcIdOnDisk(const QString& dataFolder) {
    return TIniFile(dataFolder + QStringLiteral("config.ini")).ReadString("config", "PcID", {});
}

// Permission bits of a file, or -1 when it is missing.
int modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

} // namespace

TEST(Startup, EveryUsersFirstStartCopiesTheTemplatesAndLeavesThemInPlace) {
    const TProgramSetup first = MakeProgramSetup();
    {
        TFmMain main(first.Env());
        QString error;
        ASSERT_TRUE(main.Startup(&error)) << error.toStdString();
        EXPECT_EQ(main.DataFolder(), first.DataFolder());
        EXPECT_TRUE(QFileInfo::exists(first.DataFolder() + QStringLiteral("brisel.mdb")));
        EXPECT_TRUE(QFileInfo::exists(first.DataFolder() + QStringLiteral("config.ini")));
        // Both templates are copied, never taken away: the program folder is not the user's.
        EXPECT_TRUE(QFileInfo::exists(first.ProgramFolder + QStringLiteral("config.ini")));
        EXPECT_TRUE(QFileInfo::exists(first.ProgramFolder + QStringLiteral("brisel.mdb")));
        // The upgrade ran on the copied template.
        EXPECT_GE(main.Db().Select(QStringLiteral("select * from notes where 1=2")).columnIndex("hiddenposy"),
                  0);
        const QString pcid = pcIdOnDisk(first.DataFolder());
        EXPECT_TRUE(kGuid.match(pcid).hasMatch()) << pcid.toStdString();
        EXPECT_EQ(AppState().NoteOptions.FconfigPcID, pcid);
        main.Shutdown();
    }

    // A second user of the same program folder starts from the same template.
    TProgramSetup second = first;
    second.AppDataRoot = testenv::freshDir(QStringLiteral("appdata2")) + QLatin1Char('/');
    TFmMain main(second.Env());
    QString error;
    ASSERT_TRUE(main.Startup(&error)) << error.toStdString();
    EXPECT_EQ(AppState().NoteOptions.FconfigLanguage, QStringLiteral("Chinese"));
    EXPECT_TRUE(AppState().NoteOptions.FGeneralShowNotesOnDesk);
    const QString pcid = pcIdOnDisk(second.DataFolder());
    EXPECT_TRUE(kGuid.match(pcid).hasMatch());
    EXPECT_NE(pcid, pcIdOnDisk(first.DataFolder()));
    main.Shutdown();
}

TEST(Startup, BelowVersionSixTheDataLiveInTheProgramFolder) {
    const TProgramSetup s = MakeProgramSetup();
    TFmMainEnv env = s.Env();
    env.PlatformMajorVersion = 5;
    TFmMain main(env);
    QString error;
    ASSERT_TRUE(main.Startup(&error)) << error.toStdString();
    EXPECT_EQ(main.DataFolder(), s.ProgramFolder);
    EXPECT_TRUE(QDir(s.DataFolder()).exists());
    EXPECT_TRUE(QDir(s.DataFolder()).isEmpty());
    EXPECT_TRUE(QFileInfo::exists(s.ProgramFolder + QStringLiteral("config.ini")));
    EXPECT_FALSE(pcIdOnDisk(s.ProgramFolder).isEmpty());
    main.Shutdown();
}

TEST(Startup, AnExistingPcIdIsNeverChanged) {
    const TProgramSetup s = MakeProgramSetup();
    QDir().mkpath(s.DataFolder());
    testenv::writeFile(s.DataFolder() + QStringLiteral("config.ini"), "[config]\nPcID=KEEP-ME\nUserID=77\n");
    TFmMain main(s.Env());
    QString error;
    ASSERT_TRUE(main.Startup(&error));
    EXPECT_EQ(AppState().NoteOptions.FconfigPcID, QStringLiteral("KEEP-ME"));
    EXPECT_EQ(AppState().PushUserId.load(), 77);
    main.Shutdown();
    EXPECT_EQ(pcIdOnDisk(s.DataFolder()), QStringLiteral("KEEP-ME"));
}

TEST(Startup, TheDataFolderAndItsSecretsAreClosedToOtherUsers) {
    for (const bool withTemplate : {true, false}) {
        SCOPED_TRACE(withTemplate ? "database from the template" : "database made from the schema");
        const TProgramSetup s = MakeProgramSetup(withTemplate);
        const QString folder = s.DataFolder();
        const auto expectClosed = [&] {
            EXPECT_EQ(modeOf(folder), 0700);
            EXPECT_EQ(modeOf(folder + QStringLiteral("config.ini")), 0600);
            EXPECT_EQ(modeOf(folder + QStringLiteral("brisel.mdb")), 0600);
        };
        {
            TFmMain main(s.Env());
            QString error;
            ASSERT_TRUE(main.Startup(&error)) << error.toStdString();
            expectClosed();
            main.Shutdown();
        }
        // An older run left them open to every user, or to the group only.
        const struct {
            int Folder;
            int File;
        } older[] = {{0755, 0644}, {0750, 0640}, {0710, 0600}, {0700, 0604}, {0770, 0660}, {0700, 0620}};
        for (const auto& o : older) {
            SCOPED_TRACE(QString::number(o.File, 8).toStdString());
            ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), mode_t(o.Folder)), 0);
            for (const char* name : {"config.ini", "brisel.mdb"})
                ASSERT_EQ(
                    ::chmod(QFile::encodeName(folder + QLatin1String(name)).constData(), mode_t(o.File)), 0);
            TFmMain main(s.Env());
            QString error;
            ASSERT_TRUE(main.Startup(&error)) << error.toStdString();
            expectClosed();
            main.Shutdown();
        }
    }
}

TEST(Startup, WithoutAnyDatabaseOneIsMadeFromTheSchema) {
    const TProgramSetup s = MakeProgramSetup(false);
    TFmMain main(s.Env());
    QString error;
    ASSERT_TRUE(main.Startup(&error)) << error.toStdString();
    EXPECT_EQ(main.Db().Select(QStringLiteral("select * from notes")).Columns.size(), 31);
    main.Shutdown();
}

TEST(Startup, AnUnusableDatabaseStopsStartUpWithTheFileNamedAndUntouched) {
    const TProgramSetup s = MakeProgramSetup();
    QDir().mkpath(s.DataFolder());
    const QString db = s.DataFolder() + QStringLiteral("brisel.mdb");
    const QByteArray junk("Standard Jet DB\0\0\0 not for us", 30);
    testenv::writeFile(db, junk);
    TFmMain main(s.Env());
    QString error;
    EXPECT_FALSE(main.Startup(&error));
    EXPECT_TRUE(error.contains(QDir::toNativeSeparators(db))) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("not a database"))) << error.toStdString();
    EXPECT_EQ(testenv::readFile(db), junk);
    EXPECT_FALSE(QFileInfo::exists(db + QStringLiteral("-wal")));
}

// Broadcasts to the notes go by their title: an error box must not share it.
TEST(Startup, ErrorBoxesAreTitledFromTheLanguageTableNeverLikeANote) {
    QStringList captions;
    const TMessageBoxHandler old =
        SetMessageBoxHandler([&](QWidget*, const QString&, const QString& caption, unsigned) {
            captions.append(caption);
            return IDOK;
        });
    ShowErrorBox(QStringLiteral("before any language is loaded"));
    {
        const TProgramSetup s = MakeProgramSetup();
        QDir().mkpath(s.DataFolder());
        testenv::writeFile(s.DataFolder() + QStringLiteral("config.ini"), "[config]\nLanguage=Chinese\n");
        TFmMain main(s.Env());
        QString error;
        ASSERT_TRUE(main.Startup(&error)) << error.toStdString();
        ShowErrorBox(QStringLiteral("with the shipped language"));
        main.Shutdown();
    }
    SetMessageBoxHandler(old);
    ASSERT_EQ(captions.size(), 2);
    EXPECT_EQ(captions[0], QStringLiteral("Error"));
    EXPECT_FALSE(captions[1].isEmpty());
    for (const QString& c : captions)
        EXPECT_NE(c, QString::fromLatin1(kNoteWindowTitle));
}

TEST(Startup, TheTrayMenuAndTheNoteMenuShowTheirImages) {
    const TProgramSetup s = MakeProgramSetup();
    TFmMain main(s.Env());
    QString error;
    ASSERT_TRUE(main.Startup(&error)) << error.toStdString();
    TFmNote note(main.NoteContext());
    note.PopupMenu();
    const QList<QAction*> withImage = {
        main.actNewNote,    main.actAbout,         main.actFeedBack, main.actClose,    note.actAddNewNote,
        note.actDelNote,    note.actSetTransValue, note.actSetFont,  note.actSetColor, note.actBgColor,
        note.actSetupAlert, note.actFeedBack,      note.actClose};
    for (QAction* a : withImage)
        EXPECT_FALSE(a->icon().isNull()) << a->objectName().toStdString();
    EXPECT_TRUE(main.actOptions->icon().isNull());
    EXPECT_TRUE(note.actTopmost->icon().isNull());
    // One picture per meaning: the same command looks the same in both menus, and
    // different commands look different.
    const auto picture = [](QAction* a) { return a->icon().pixmap(16).toImage(); };
    EXPECT_EQ(picture(main.actClose), picture(note.actClose));
    EXPECT_EQ(picture(main.actNewNote), picture(note.actAddNewNote));
    const QList<QAction*> distinct = {
        note.actAddNewNote, note.actDelNote,    note.actSetTransValue, note.actSetFont, note.actSetColor,
        note.actBgColor,    note.actSetupAlert, note.actFeedBack,      note.actClose,   main.actAbout};
    for (int i = 0; i < distinct.size(); ++i)
        for (int j = i + 1; j < distinct.size(); ++j)
            EXPECT_NE(picture(distinct[i]), picture(distinct[j])) << i << " " << j;
    main.Shutdown();
}

TEST(Startup, AReadOnlyDataFolderIsReportedAndNothingIsLost) {
    const TProgramSetup s = MakeProgramSetup();
    QDir().mkpath(s.DataFolder());
    const QString config = s.DataFolder() + QStringLiteral("config.ini");
    testenv::writeFile(config, "[config]\nUserID=5\n");
    testenv::TReadOnly ro(s.DataFolder());
    ASSERT_TRUE(ro.ok());
    TFmMain main(s.Env());
    QString error;
    EXPECT_FALSE(main.Startup(&error));
    EXPECT_TRUE(error.contains(QStringLiteral("brisel.mdb"))) << error.toStdString();
    EXPECT_EQ(testenv::readFile(config), QByteArray("[config]\nUserID=5\n"));
}

TEST(Startup, TrayCaptionsComeFromTheLanguageFileWithEnglishForMissingKeys) {
    struct TCase {
        const char* Language;
        QByteArray FileText; // empty: no file of that name
        QString Close;
        QString NewNote;
    };
    const TCase cases[] = {
        {"English", "[FmMain]\nactClose_Caption=Quit\n", QStringLiteral("Quit"), QStringLiteral("&Add Note")},
        {"Klingon", "", QString(), QString()},
    };
    for (const TCase& c : cases) {
        const TProgramSetup s = MakeProgramSetup();
        if (!c.FileText.isEmpty())
            testenv::writeFile(s.ProgramFolder + QStringLiteral("languages/") + QLatin1String(c.Language) +
                                   QStringLiteral(".lng"),
                               c.FileText);
        QDir().mkpath(s.DataFolder());
        testenv::writeFile(s.DataFolder() + QStringLiteral("config.ini"),
                           QByteArray("[config]\nLanguage=") + c.Language + "\n");
        TFmMain main(s.Env());
        QString error;
        ASSERT_TRUE(main.Startup(&error)) << c.Language;
        EXPECT_EQ(main.actClose->text(), c.Close) << c.Language;
        EXPECT_EQ(main.actNewNote->text(), c.NewNote) << c.Language;
        EXPECT_EQ(main.actLogin->text().isEmpty(), c.NewNote.isEmpty()) << c.Language;
        main.Shutdown();
    }
}

TEST(Startup, AFirstStartSpeaksTheDesktopsLanguageAndAStoredOneWins) {
    const struct {
        const char* What;
        QLocale Desktop;
        QByteArray Config; // the data folder's config.ini; empty: none yet
        const char* Language;
    } cases[] = {
        {"English desktop, first start", QLocale(QLocale::English, QLocale::UnitedStates), {}, "English"},
        {"German desktop, first start", QLocale(QLocale::German, QLocale::Germany), {}, "English"},
        {"C locale, first start", QLocale::c(), {}, "English"},
        {"Chinese (China) desktop, first start", QLocale(QLocale::Chinese, QLocale::China), {}, "Chinese"},
        {"Chinese (Taiwan) desktop, first start", QLocale(QLocale::Chinese, QLocale::Taiwan), {}, "Chinese"},
        {"settings without the key", QLocale(QLocale::English, QLocale::UnitedKingdom), "[config]\nUserID=\n",
         "English"},
        {"stored Chinese on an English desktop", QLocale(QLocale::English, QLocale::UnitedStates),
         "[config]\nLanguage=Chinese\n", "Chinese"},
        {"stored English on a Chinese desktop", QLocale(QLocale::Chinese, QLocale::China),
         "[config]\nLanguage=English\n", "English"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        const TProgramSetup s = MakeProgramSetup();
        if (!c.Config.isEmpty()) {
            QDir().mkpath(s.DataFolder());
            testenv::writeFile(s.DataFolder() + QStringLiteral("config.ini"), c.Config);
        }
        TFmMainEnv env = s.Env();
        env.DesktopLocale = c.Desktop;
        {
            TFmMain main(env);
            QString error;
            ASSERT_TRUE(main.Startup(&error)) << error.toStdString();
            EXPECT_EQ(AppState().NoteOptions.FconfigLanguage, QLatin1String(c.Language));
            const TIniFile file(s.ProgramFolder + QStringLiteral("languages/") + QLatin1String(c.Language) +
                                QStringLiteral(".lng"));
            EXPECT_EQ(main.actClose->text(),
                      file.ReadString("FmMain", "actClose_Caption", QStringLiteral("?")));
            // Dates in the interface's language: the desktop's own formats where it speaks it.
            const QLocale dates = InterfaceLanguage::Current();
            EXPECT_EQ(dates.language(), QLatin1String(c.Language) == QLatin1String("Chinese")
                                            ? QLocale::Chinese
                                            : QLocale::English);
            if (dates.language() == c.Desktop.language()) {
                EXPECT_EQ(dates.territory(), c.Desktop.territory());
            }
            main.Shutdown();
        }
        // The choice is stored, so the next start speaks the same whatever the desktop then says.
        EXPECT_EQ(
            TIniFile(s.DataFolder() + QStringLiteral("config.ini")).ReadString("config", "Language", {}),
            QLatin1String(c.Language));
        EXPECT_EQ(InterfaceLanguage::Current(), QLocale::system());
    }
}

TEST(Startup, QtsOwnButtonsSpeakTheInterfacesLanguageWhileTheProgramRuns) {
    const QString qm =
        QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_zh_CN.qm");
    ASSERT_TRUE(QFileInfo::exists(qm))
        << "Qt's translations (qt6-translations-l10n) are needed: " << qm.toStdString();
    const auto cancel = [] { return QCoreApplication::translate("QPlatformTheme", "Cancel"); };
    ASSERT_EQ(cancel(), QStringLiteral("Cancel"));
    const TProgramSetup s = MakeProgramSetup();
    QDir().mkpath(s.DataFolder());
    testenv::writeFile(s.DataFolder() + QStringLiteral("config.ini"), "[config]\nLanguage=Chinese\n");
    {
        TFmMain main(s.Env());
        QString error;
        ASSERT_TRUE(main.Startup(&error));
        EXPECT_EQ(cancel(), QString::fromUtf8("\xE5\x8F\x96\xE6\xB6\x88")); // 取消
        main.Shutdown();
    }
    EXPECT_EQ(cancel(), QStringLiteral("Cancel"));
}

TEST(Startup, TheTrayShowsTheProgramsOwnIconAtEveryThemeSize) {
    const QIcon icon = AppIcon();
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QImage image = icon.pixmap(QSize(size, size)).toImage();
        ASSERT_EQ(image.size(), QSize(size, size)) << size;
        // Drawn, not an empty stand-in: the middle of the note is opaque paper.
        EXPECT_EQ(image.pixelColor(size / 2, size / 2).alpha(), 255) << size;
    }
    const TProgramSetup s = MakeProgramSetup();
    TFmMainEnv env = s.Env();
    env.ShowTray = true;
    TFmMain main(env);
    QString error;
    ASSERT_TRUE(main.Startup(&error)) << error.toStdString();
    ASSERT_NE(main.TrayIcon1, nullptr);
    EXPECT_EQ(main.TrayIcon1->icon().pixmap(QSize(22, 22)).toImage(), icon.pixmap(QSize(22, 22)).toImage());
    main.Shutdown();
}

TEST(Startup, TheDefaultLanguageIsTheShippedChineseFile) {
    const TProgramSetup s = MakeProgramSetup();
    TFmMain main(s.Env());
    QString error;
    ASSERT_TRUE(main.Startup(&error));
    const TIniFile zh(s.ProgramFolder + QStringLiteral("languages/Chinese.lng"));
    EXPECT_EQ(main.actClose->text(), zh.ReadString("FmMain", "actClose_Caption", QStringLiteral("?")));
    EXPECT_EQ(main.actShowNotesOnDesk->text(), zh.ReadString("FmMain", "actShowNotesOnDesk_Caption", "?"));
    EXPECT_TRUE(main.actShowNotesOnDesk->isChecked());
    main.Shutdown();
}

TEST(Startup, PaletteTimersAndPushStateAreSet) {
    // The built-in push port, which the test processes otherwise point elsewhere.
    const testenv::TScopedEnv builtIn("ZUVONOTE_PUSH_PORT", QByteArray());
    const TProgramSetup s = MakeProgramSetup();
    TFmMain main(s.Env());
    QString error;
    ASSERT_TRUE(main.Startup(&error));
    const QList<qint32> expected = {0x3EEAFE, 0xFFEF89, 0xFDB59B, 0x82FD83, 0xB2B2FD, 0xFFFFFF, 0xDADADA};
    EXPECT_EQ(main.NoteTitleColors(), expected);
    EXPECT_EQ(main.NoteBodyColors(), expected);
    EXPECT_EQ(main.Sync()->UploadTimer()->interval(), 600000);
    EXPECT_TRUE(main.tmrLoadNotes->isSingleShot());
    EXPECT_EQ(main.tmrLoadNotes->interval(), 100);
    EXPECT_EQ(main.tmrAppUpdate->interval(), 5000);
    EXPECT_EQ(main.Sync()->SocketTimer()->interval(), 50000);
    EXPECT_FALSE(main.PushChannel()->IsOpen());
    EXPECT_FALSE(main.PushChannel()->IsConnecting());
    EXPECT_EQ(main.PushChannel()->ServerAddress(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(main.PushChannel()->ServerPort(), 50001);
    EXPECT_EQ(main.PushChannel()->LastServerActivity(), 0u);
    EXPECT_EQ(AppState().RunningUploadCount.load(), 0);
    EXPECT_TRUE(main.LibAVFolder().isEmpty());
    main.Shutdown();
}

TEST(Startup, TheUpdaterIsStartedWithTheQuotedProductName) {
    const TProgramSetup s = MakeProgramSetup();
    const QString out = s.ProgramFolder + QStringLiteral("update-args.txt");
    const QString updater = s.ProgramFolder + QStringLiteral("update");
    testenv::writeFile(updater, QByteArray("#!/bin/sh\nprintf '%s|' \"$@\" > '") + out.toUtf8() + "'\n");
    QFile::setPermissions(updater, QFile::permissions(updater) | QFileDevice::ExeOwner);
    TFmMain main(s.Env());
    QString error;
    ASSERT_TRUE(main.Startup(&error));
    main.tmrAppUpdate->start(0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFileInfo(out).size() > 0; }, 5000));
    EXPECT_EQ(testenv::readFile(out), QByteArray("\"Zuvo Note\"|"));
    EXPECT_FALSE(main.tmrAppUpdate->isActive());
    main.Shutdown();
}
