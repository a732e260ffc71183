#pragma once
// A started shell on a private program folder, with the answers a user would give
// to its question boxes and dialogs, and a record of what it asked of the server.

#include "app/uFmMain.h"
#include "data/uNoteStore.h"
#include "note/uFmNote.h"
#include "platform/gui/uDesktop.h"
#include "platform/gui/uWindows.h"
#include "support/ProgramFolder.h"
#include "support/TestEnv.h"

#include <QApplication>
#include <QDialog>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace testenv {

class NoteWindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        SetWorkAreaOverride(QRect(QPoint(0, 0), Screen().size()));
        FOldBox = SetMessageBoxHandler([this](QWidget*, const QString& text, const QString&, unsigned) {
            Boxes.append(text);
            return BoxAnswer;
        });
        FOldModal = SetModalHandler([this](QDialog& d) {
            Dialogs.append(d.metaObject()->className());
            d.show();
            if (DriveDialog)
                DriveDialog(d);
            return d.result();
        });
    }

    void TearDown() override {
        SetMessageBoxHandler(FOldBox);
        SetModalHandler(FOldModal);
        for (TFmNote* n : TFmMain::NoteWindows())
            delete n;
        if (Main)
            Main->Shutdown();
        Main.reset();
        SetWorkAreaOverride(QRect());
    }

    // Changes the shell's surroundings before Start makes it (a desktop without a tray...).
    std::function<void(TFmMainEnv&)> TweakEnv;

    // Starts the shell with these settings and rows, then loads the shown notes.
    void Start(const QByteArray& config, const std::function<void(TDbConnection&)>& rows = {}) {
        Setup = MakeProgramSetup();
        QDir().mkpath(Setup.DataFolder());
        writeFile(Setup.DataFolder() + QStringLiteral("config.ini"), "[config]\nLanguage=English\n" + config);
        TFmMainEnv env = Setup.Env();
        if (TweakEnv)
            TweakEnv(env);
        Main = std::make_unique<TFmMain>(env);
        QString error;
        ASSERT_TRUE(Main->Startup(&error)) << error.toStdString();
        Main->tmrLoadNotes->stop();
        QObject::connect(Main.get(), &TFmMain::UploadRequested,
                         [this](const QString& id, quint16, bool) { Uploads.append(id); });
        QObject::connect(Main.get(), &TFmMain::DeleteRequested,
                         [this](const QString& id) { Deletes.append(id); });
        if (rows)
            rows(Main->Db());
        Main->tmrLoadNotesTimer();
    }

    static void AddRow(TDbConnection& db, const QString& id, const QString& text, QRect place) {
        NoteStore::InsertFromShell(db, id, place.x(), place.y());
        db.Exec(QStringLiteral("update notes set mynote=?, form_w=?, form_h=? where id=?"),
                {text, place.width(), place.height(), id});
    }

    [[nodiscard]] TRowSet Row(const QString& id) const {
        return Main->Db().Select(QStringLiteral("select * from notes where id=?"), {id});
    }

    [[nodiscard]] static TFmNote* Note(const QString& id) {
        for (TFmNote* n : TFmMain::NoteWindows())
            if (n->NoteId() == id && !n->IsPreviewMode())
                return n;
        return nullptr;
    }

    [[nodiscard]] static QRect Screen() { return QGuiApplication::primaryScreen()->geometry(); }

    // Presses the left button in the window's middle, moves the mouse to put the
    // window's top-left at topLeft, releases.
    static void DragTo(TFmNote* n, QPoint topLeft) {
        const QPoint local = n->rect().center();
        QTest::mousePress(n, Qt::LeftButton, {}, local);
        const QPointF global = topLeft + local;
        QMouseEvent move(QEvent::MouseMove, QPointF(local), global, Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(n, &move);
        QTest::mouseRelease(n, Qt::LeftButton, {}, n->mapFromGlobal(global.toPoint()));
    }

    static void Click(TFmNote* n) {
        QTest::mousePress(n, Qt::LeftButton, {}, n->rect().center());
        QTest::mouseRelease(n, Qt::LeftButton, {}, n->rect().center());
    }

    static void Enter(TFmNote* n) {
        const QPointF local = n->rect().center();
        QEnterEvent e(local, local, n->mapToGlobal(local));
        QApplication::sendEvent(n, &e);
    }

    static void Leave(TFmNote* n) {
        QEvent e(QEvent::Leave);
        QApplication::sendEvent(n, &e);
    }

    // Runs the command behind a menu action the way a user's click does.
    static void Choose(TFmNote* n, QAction* TFmNote::*action) {
        n->PopupMenu();
        (n->*action)->trigger();
    }

    TProgramSetup Setup;
    std::unique_ptr<TFmMain> Main;
    QStringList Uploads;
    QStringList Deletes;
    // Question boxes: their texts, and the answer each one gets.
    QStringList Boxes;
    int BoxAnswer = IDYES;
    // Modal dialogs: their class names, and what the user does in them.
    QStringList Dialogs;
    std::function<void(QDialog&)> DriveDialog;

private:
    TMessageBoxHandler FOldBox;
    TModalHandler FOldModal;
};

} // namespace testenv
