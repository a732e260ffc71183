// Shared entry of every test program: private HOME/XDG/runtime folders first,
// then a QApplication on the offscreen platform with a known screen size (a
// QCoreApplication for programs that link no widgets).

#ifdef ZUVO_TEST_NO_WIDGETS
#include <QCoreApplication>
using TTestApplication = QCoreApplication;
#else
#include "platform/gui/uAudioModule.h"

#include <QApplication>
using TTestApplication = QApplication;
#endif
#include "support/TestEnv.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

int main(int argc, char** argv) {
    QTemporaryDir root(QDir::tempPath() + QStringLiteral("/zuvotest-XXXXXX"));
    if (!root.isValid())
        return 2;
    const QByteArray r = root.path().toLocal8Bit();
    qputenv("ZUVO_TEST_ROOT", r);
    qputenv("HOME", r + "/home");
    qputenv("XDG_DATA_HOME", r + "/home/.local/share");
    qputenv("XDG_CONFIG_HOME", r + "/home/.config");
    qputenv("XDG_CACHE_HOME", r + "/home/.cache");
    qputenv("XDG_RUNTIME_DIR", r + "/runtime");
    QDir().mkpath(root.path() + QStringLiteral("/home/.local/share"));
    QDir().mkpath(root.path() + QStringLiteral("/runtime"));
    ::chmod((r + "/runtime").constData(), 0700);
    // A program under test that is given no push server would try the default
    // port, where another run or a real server may be listening.
    qputenv("ZUVONOTE_PUSH_PORT", QByteArray::number(testenv::refusedPort()));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" ZUVO_TEST_SCREENS);

#ifndef ZUVO_TEST_NO_WIDGETS
    // The test programs live outside the program folder that holds the audio module.
    SetAudioModuleFolder(QStringLiteral(ZUVO_BIN_DIR));
#endif

    ::testing::InitGoogleTest(&argc, argv);
    TTestApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
