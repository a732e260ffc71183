// The list of note windows on its own, with a context of its own and no main
// window: which windows it holds, finds and reaches, what it forgets, and the
// windows it makes.

#include "data/uNoteRecord.h"
#include "data/uNoteRepository.h"
#include "data/uNoteStore.h"
#include "note/uFmNote.h"
#include "note/uNoteManager.h"
#include "platform/gui/uDesktop.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QPointer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace {

// A message no note window handles: only the recorder sees it.
constexpr int kProbe = WM_USER + 9000;

// The program around the manager: a store, and a context whose lookups answer it.
struct TWorld {
    TWorld() {
        const QString path = testenv::freshDir(QStringLiteral("notewindows")) + QStringLiteral("/brisel.mdb");
        NoteStore::CreateFromSchema(path);
        Db = TDbConnection::Open(path);
        UpgradeSchema(*Db);
        Repo = std::make_unique<NoteRepository>(*Db);
        auto context = std::make_shared<TNoteContext>();
        context->Notes = [this] { return Repo.get(); };
        context->Windows = [this] { return Manager.get(); };
        Context = context;
        Manager = std::make_unique<TNoteManager>(Context);
    }
    ~TWorld() {
        for (TFmNote* n : Made)
            delete n;
    }

    // A window on the list made from a stored look with this id.
    TFmNote* FromRecord(const QString& id) {
        NoteRecord r;
        r.Note.NoteID = id;
        r.Note.NNote = id + QStringLiteral(" text");
        r.Note.FmX = 100;
        r.Note.FmY = 100;
        r.Note.FmW = 220;
        r.Note.FmH = 100;
        r.Note.FmTrans = 200;
        r.Note.FontName = QStringLiteral("Tahoma");
        r.Note.FontSize = 9;
        return Keep(Manager->Create(r), id);
    }
    // A window the program made itself with the context (as a docked note's preview is).
    TFmNote* Preview(const QString& id) {
        auto* p = new TFmNote(Context);
        p->SetIsPreviewMode(true);
        NoteRecord look;
        look.Note.NoteID = id;
        p->ShowRecord(look);
        return Keep(p, id + QStringLiteral("/preview"));
    }
    TFmNote* Keep(TFmNote* n, const QString& name) {
        n->setObjectName(name);
        n->installEventFilter(&Heard);
        Made.append(n);
        return n;
    }

    // Records which windows a probe reached, in order.
    struct TRecorder : QObject {
        QStringList Names;
        std::function<void(QObject*)> OnProbe;
        bool eventFilter(QObject* o, QEvent* e) override {
            if (e->type() == QEvent::Type(kProbe)) {
                Names.append(o->objectName());
                if (OnProbe)
                    OnProbe(o);
            }
            return false;
        }
    } Heard;

    std::unique_ptr<TDbConnection> Db;
    std::unique_ptr<NoteRepository> Repo;
    TNoteContextPtr Context;
    std::unique_ptr<TNoteManager> Manager;
    QList<QPointer<TFmNote>> Made;
};

[[nodiscard]] QStringList Names(const QList<TFmNote*>& windows) {
    QStringList out;
    for (const TFmNote* n : windows)
        out.append(n->objectName());
    return out;
}

} // namespace

TEST(NoteWindows, TheListHoldsFindsAndReachesWhatIsThere) {
    struct TCase {
        const char* Name;
        std::function<void(TWorld&)> Make;
        QStringList Listed; // oldest first; also who hears a broadcast
        QString FoundForA;  // the window Find("A") answers, empty for none
    };
    const TCase cases[] = {
        {"made from records",
         [](TWorld& w) {
             w.FromRecord("A");
             w.FromRecord("B");
         },
         {"A", "B"},
         "A"},
        {"hidden and shown alike",
         [](TWorld& w) {
             w.FromRecord("A");
             w.FromRecord("B")->show();
         },
         {"A", "B"},
         "A"},
        {"a preview joins by itself but is never found",
         [](TWorld& w) {
             w.Preview("A");
             w.FromRecord("A");
         },
         {"A/preview", "A"},
         "A"},
        {"a window of no program is not a note of this one",
         [](TWorld& w) {
             w.Keep(new TFmNote, "bare");
             w.FromRecord("B");
         },
         {"B"},
         ""},
        {"a deleted window is forgotten",
         [](TWorld& w) {
             delete w.FromRecord("A");
             w.FromRecord("B");
         },
         {"B"},
         ""},
        {"a window deleted later is forgotten once it is gone",
         [](TWorld& w) {
             w.FromRecord("A")->deleteLater();
             w.FromRecord("B");
             QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
         },
         {"B"},
         ""},
        {"registering twice lists once",
         [](TWorld& w) {
             TFmNote* a = w.FromRecord("A");
             w.Manager->Register(a);
         },
         {"A"},
         "A"},
    };
    for (const TCase& c : cases) {
        TWorld w;
        c.Make(w);
        EXPECT_EQ(Names(w.Manager->Windows()), c.Listed) << c.Name;
        const TFmNote* found = w.Manager->Find(QStringLiteral("A"));
        EXPECT_EQ(found ? found->objectName() : QString(), c.FoundForA) << c.Name;
        w.Manager->Broadcast(kProbe, 1, 2);
        EXPECT_EQ(w.Heard.Names, c.Listed) << c.Name;
    }
}

TEST(NoteWindows, ABroadcastSkipsAWindowAHandlerDestroyedBeforeItsTurn) {
    TWorld w;
    TFmNote* a = w.FromRecord("A");
    QPointer<TFmNote> b = w.FromRecord("B");
    w.FromRecord("C");
    w.Heard.OnProbe = [&](QObject* o) {
        if (o == a)
            delete b.data();
    };
    w.Manager->Broadcast(kProbe);
    EXPECT_EQ(w.Heard.Names, (QStringList{"A", "C"}));
    EXPECT_TRUE(b.isNull());
    EXPECT_EQ(Names(w.Manager->Windows()), (QStringList{"A", "C"}));
}

TEST(NoteWindows, AnyWindowPutThereHearsBroadcastsButOnlyNotesAreListed) {
    TWorld w;
    TFmNote* a = w.FromRecord("A");
    QWidget stand;
    stand.setObjectName("stand-in");
    stand.installEventFilter(&w.Heard);
    w.Manager->Register(&stand);
    w.FromRecord("B");
    EXPECT_EQ(Names(w.Manager->Windows()), (QStringList{"A", "B"}));
    w.Manager->Broadcast(kProbe, 0, 0, a);
    EXPECT_EQ(w.Heard.Names, (QStringList{"stand-in", "B"}));
}

TEST(NoteWindows, AWindowMadeFromARecordShowsItAndRoutesItsCommands) {
    TWorld w;
    TFmNote* a = w.FromRecord("A");
    EXPECT_EQ(a->NoteId(), QStringLiteral("A"));
    EXPECT_EQ(a->NoteText(), QStringLiteral("A text"));
    EXPECT_EQ(a->geometry(), QRect(100, 100, 220, 100));
    EXPECT_EQ(a->Alpha(), 200);
    EXPECT_FALSE(a->isVisible());

    QList<std::pair<QString, TFmNote*>> asked;
    QObject::connect(w.Manager.get(), &TNoteManager::CommandRequested,
                     [&](const QString& action, TFmNote* n) {
                         asked.append({action, n});
                     });
    emit a->CommandRequested(QStringLiteral("actAbout"));
    EXPECT_EQ(asked, (QList<std::pair<QString, TFmNote*>>{{QStringLiteral("actAbout"), a}}));
}

TEST(NoteWindows, NewNotesAreStoredAndTakeFreePlaces) {
    SetWorkAreaOverride(QRect(0, 0, 1280, 1024));
    TWorld w;
    TFmNote* first = w.Keep(w.Manager->CreateNew(QStringLiteral("hello")), "first");
    TFmNote* second = w.Keep(w.Manager->CreateNew(QString()), "second");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(first->geometry().intersects(second->geometry()));
    EXPECT_EQ(Names(w.Manager->Windows()), (QStringList{"first", "second"}));
    for (const TFmNote* n : {first, second}) {
        const std::optional<NoteRecord> row = w.Repo->Find(n->NoteId());
        ASSERT_TRUE(row.has_value());
        EXPECT_EQ(QPoint(row->Note.FmX, row->Note.FmY), n->geometry().topLeft());
    }
    EXPECT_EQ(first->NoteText(), QStringLiteral("hello"));

    // Without a store nothing is made.
    TNoteManager storeless(std::make_shared<TNoteContext>());
    EXPECT_EQ(storeless.CreateNew(QStringLiteral("x")), nullptr);
    SetWorkAreaOverride(QRect());
}
