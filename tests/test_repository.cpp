// The note repository: what each operation writes, what it reports, the row
// revision that lets an upload mark exactly the version it sent, and a store that
// refuses writes.

#include "data/uNoteRepository.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <tuple>

namespace {

struct TChange {
    QString Id;
    quint16 Fields;
};

class RepositoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QString path = testenv::freshDir(QStringLiteral("repo")) + QStringLiteral("/brisel.mdb");
        NoteStore::CreateFromSchema(path);
        FDb = TDbConnection::Open(path);
        UpgradeSchema(*FDb);
        FRepo = std::make_unique<NoteRepository>(*FDb);
        QObject::connect(FRepo.get(), &NoteRepository::changed, [this](const QString& id, TUploadFields f) {
            FChanges.push_back({id, f.bits()});
        });
        QObject::connect(FRepo.get(), &NoteRepository::failed,
                         [this](const QString&, const QString& message) { FFailures.append(message); });
    }

    // A committed row with a known look, placed at (100, 200) 240 x 180.
    void addCommittedRow(const QString& id, const QString& text = QStringLiteral("text")) {
        FDb->Exec(QStringLiteral("insert into notes (id, mynote, form_x, form_y, form_w, form_h, form_trans, "
                                 "fontcolor, fontname, fontsize, fontbold, shownote, commited) "
                                 "values (?, ?, 100, 200, 240, 180, 160, 0, 'Tahoma', 9, 0, 1, 1)"),
                  {id, text});
    }

    [[nodiscard]] NoteRecord row(const QString& id) {
        const std::optional<NoteRecord> r = FRepo->Find(id);
        EXPECT_TRUE(r.has_value()) << id.toStdString();
        return r.value_or(NoteRecord{});
    }

    [[nodiscard]] int unsent(const QString& id) const {
        return FDb->Select(QStringLiteral("select unsent from notes where id=?"), {id})
            .asInt(0, QStringLiteral("unsent"));
    }
    std::unique_ptr<TDbConnection> FDb;
    std::unique_ptr<NoteRepository> FRepo;
    std::vector<TChange> FChanges;
    QStringList FFailures;
};

const QString kId = QStringLiteral("8F14E45F-CEEA-467F-A0E6-8E1E3B0C4A21");

} // namespace

TEST_F(RepositoryTest, EachWriteChangesItsColumnsAndReportsOnce) {
    struct TCase {
        const char* Name;
        std::function<bool(NoteRepository&)> Write;
        std::function<void(const NoteRecord&)> Check;
        TUploadFields Fields;
        bool MarksPending;
    };
    const std::vector<TCase> cases = {
        {"transparency",
         [](NoteRepository& r) { return r.SetTransparency(kId, 90); },
         [](const NoteRecord& n) { EXPECT_EQ(n.Note.FmTrans, 90); },
         {utTransparency},
         true},
        {"font colour",
         [](NoteRepository& r) { return r.SetFontColor(kId, 0xFF); },
         [](const NoteRecord& n) { EXPECT_EQ(n.Note.FontColor, 0xFF); },
         {utFontColor},
         true},
        {"font",
         [](NoteRepository& r) { return r.SetFont(kId, QStringLiteral("DejaVu Sans"), 14, true); },
         [](const NoteRecord& n) {
             EXPECT_EQ(n.Note.FontName, QStringLiteral("DejaVu Sans"));
             EXPECT_EQ(n.Note.FontSize, 14);
             EXPECT_EQ(n.Note.FontBold, 1);
         },
         {utFontName, utFontSize, utFontBold},
         true},
        {"background",
         [](NoteRepository& r) { return r.SetBgColorIndex(kId, 5); },
         [](const NoteRecord& n) { EXPECT_EQ(n.Note.BGColorIdx, 5); },
         {utBgcolor},
         true},
        {"list style",
         [](NoteRepository& r) { return r.SetShowAsList(kId, 3); },
         [](const NoteRecord& n) { EXPECT_EQ(n.Note.ShowAsList, 3); },
         {utShowAsList},
         true},
        {"topmost",
         [](NoteRepository& r) { return r.SetTopMost(kId, true); },
         [](const NoteRecord& n) { EXPECT_EQ(n.Note.IsTopMost, 1); },
         {utIsTopMost},
         true},
        {"auto height",
         [](NoteRepository& r) { return r.SetAutoHeight(kId, true); },
         [](const NoteRecord& n) { EXPECT_EQ(n.Note.AutoHeight, 1); },
         {utAutoHeight},
         true},
        {"reminder",
         [](NoteRepository& r) {
             return r.SetReminder(kId, 3, QStringLiteral("08:30"), QStringLiteral("1"), QString());
         },
         [](const NoteRecord& n) {
             EXPECT_EQ(n.Note.AlertType, 3);
             EXPECT_EQ(n.Note.AlertValue1, QStringLiteral("08:30"));
             EXPECT_EQ(n.Note.AlertValue2, QStringLiteral("1"));
         },
         {utAlert},
         true},
        {"place after a drag",
         [](NoteRepository& r) { return r.SetPlace(kId, QRect(5, 6, 300, 120)); },
         [](const NoteRecord& n) {
             EXPECT_EQ(QRect(n.Note.FmX, n.Note.FmY, n.Note.FmW, n.Note.FmH), QRect(5, 6, 300, 120));
         },
         {},
         false},
        {"dock",
         [](NoteRepository& r) { return r.Dock(kId, 2, QPoint(1904, 300)); },
         [](const NoteRecord& n) {
             EXPECT_EQ(n.Dock, (NoteDock{true, 2, 1904, 300}));
             EXPECT_EQ(n.Note.FmX, 100); // the note's own place stays for undocking
         },
         {},
         false},
        {"hide",
         [](NoteRepository& r) { return r.Hide(kId); },
         [](const NoteRecord& n) { EXPECT_EQ(n.Note.ShowNote, 0); },
         {},
         false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        FDb->Exec(QStringLiteral("delete from notes"));
        addCommittedRow(kId);
        const qint64 revBefore = row(kId).Rev;
        FChanges.clear();
        ASSERT_TRUE(c.Write(*FRepo));
        const NoteRecord after = row(kId);
        c.Check(after);
        EXPECT_EQ(after.Pending, c.MarksPending);
        EXPECT_EQ(after.Rev, revBefore + (c.MarksPending ? 1 : 0));
        // A pending write names exactly its fields as unsent, in the same statement.
        EXPECT_EQ(unsent(kId), c.MarksPending ? c.Fields.bits() : 0);
        ASSERT_EQ(FChanges.size(), 1u);
        EXPECT_EQ(FChanges[0].Id, kId);
        EXPECT_EQ(FChanges[0].Fields, c.Fields.bits());
    }
    EXPECT_TRUE(FFailures.isEmpty());
}

TEST_F(RepositoryTest, SavesWriteThePlaceOnlyWhileTheNoteIsNotDocked) {
    addCommittedRow(kId);
    NoteRecord shown = row(kId);
    shown.Note.NNote = QStringLiteral("edited");
    shown.Note.FmX = 400;
    shown.Note.FontName = QStringLiteral("DejaVu Serif");
    shown.Note.BGColorIdx = 2;

    // Docked: the window's geometry is its strip and must not become the place.
    shown.Dock.Docked = true;
    ASSERT_TRUE(FRepo->SaveEdit(shown));
    NoteRecord stored = row(kId);
    EXPECT_EQ(stored.Note.NNote, QStringLiteral("edited"));
    EXPECT_EQ(stored.Note.FmX, 100);
    EXPECT_EQ(stored.Note.BGColorIdx, 2);
    EXPECT_TRUE(stored.Pending);
    EXPECT_EQ(stored.Rev, 1);

    shown.Dock.Docked = false;
    ASSERT_TRUE(FRepo->SaveEdit(shown));
    EXPECT_EQ(row(kId).Note.FmX, 400);
    EXPECT_EQ(row(kId).Rev, 2);
    ASSERT_EQ(FChanges.size(), 2u);
    EXPECT_EQ(FChanges[1].Fields, TUploadFields{utNote}.bits());

    // The saves at the end leave a committed row committed unless the text is new.
    FDb->Exec(QStringLiteral("update notes set commited=1"));
    shown.Note.FmX = 410;
    ASSERT_TRUE(FRepo->SaveLook(shown));
    ASSERT_TRUE(FRepo->SaveAtSessionEnd(shown, false));
    stored = row(kId);
    EXPECT_EQ(stored.Note.FmX, 410);
    EXPECT_FALSE(stored.Pending);
    EXPECT_EQ(stored.Rev, 2);
    ASSERT_TRUE(FRepo->SaveAtSessionEnd(shown, true));
    EXPECT_TRUE(row(kId).Pending);
    EXPECT_EQ(row(kId).Rev, 3);
    EXPECT_EQ(FChanges.back().Fields, TUploadFields{}.bits());
}

TEST_F(RepositoryTest, CommitsOnlyTheRevisionThatWasSent) {
    addCommittedRow(kId, QStringLiteral("first"));
    ASSERT_TRUE(FRepo->SetBgColorIndex(kId, 1));
    const std::optional<NotePendingRows> sent = FRepo->PendingOne(kId);
    ASSERT_TRUE(sent && sent->Rows.rowCount() == 1);
    EXPECT_EQ(sent->id(0), kId);
    EXPECT_FALSE(sent->Rows.Columns.contains(QStringLiteral("rev"))); // never travels
    EXPECT_EQ(sent->Rows.Columns.last(), QStringLiteral("notetype"));
    const qint64 sentRev = sent->Revs[0];

    EXPECT_EQ(sent->Unsent[0], TUploadFields({utBgcolor}));

    // Changed again while the upload was on its way: the newer version stays
    // pending, with every field not yet confirmed.
    ASSERT_TRUE(FRepo->SetReminder(kId, 1, QStringLiteral("09:00"), QString(), QString()));
    EXPECT_FALSE(FRepo->MarkCommittedIfUnchanged(kId, sentRev));
    EXPECT_TRUE(row(kId).Pending);
    EXPECT_EQ(unsent(kId), TUploadFields({utBgcolor, utAlert}).bits());

    const std::optional<NotePendingRows> again = FRepo->PendingAll();
    ASSERT_TRUE(again && again->Rows.rowCount() == 1);
    EXPECT_TRUE(FRepo->MarkCommittedIfUnchanged(kId, again->Revs[0]));
    EXPECT_FALSE(row(kId).Pending);
    EXPECT_EQ(unsent(kId), 0);
    EXPECT_TRUE(FFailures.isEmpty());
}

TEST_F(RepositoryTest, DeletingRemovesTheRowButEmptiesTheLastOne) {
    const QString other = QStringLiteral("OTHER");
    addCommittedRow(kId);
    addCommittedRow(other, QStringLiteral("keep"));
    EXPECT_FALSE(FRepo->OnlyNoteIsBlank());
    EXPECT_EQ(FRepo->Delete(kId), NoteDeleteOutcome::Removed);
    EXPECT_EQ(FRepo->Exists(kId), false);
    EXPECT_FALSE(FRepo->OnlyNoteIsBlank());
    EXPECT_EQ(FRepo->Delete(other), NoteDeleteOutcome::Emptied);
    EXPECT_EQ(FRepo->Exists(other), true);
    EXPECT_EQ(row(other).Note.NNote, QString());
    EXPECT_TRUE(FRepo->OnlyNoteIsBlank());
}

TEST_F(RepositoryTest, UndockAndShowAgainReturnTheStoredPlace) {
    addCommittedRow(kId);
    ASSERT_TRUE(FRepo->Dock(kId, 0, QPoint(0, 300)));
    const std::optional<NoteRecord> before = FRepo->Undock(kId, QPoint(0, 320));
    ASSERT_TRUE(before);
    EXPECT_EQ(QRect(before->Note.FmX, before->Note.FmY, before->Note.FmW, before->Note.FmH),
              QRect(100, 200, 240, 180));
    EXPECT_EQ(row(kId).Dock, (NoteDock{false, 0, 0, 320}));

    // Hidden while docked: it comes back undocked.
    ASSERT_TRUE(FRepo->Dock(kId, 1, QPoint(500, 0)));
    ASSERT_TRUE(FRepo->Hide(kId));
    ASSERT_EQ(FRepo->LoadHidden()->size(), 1);
    std::optional<NoteRecord> shown;
    ASSERT_TRUE(FRepo->ShowAgain(kId, shown));
    ASSERT_TRUE(shown);
    EXPECT_FALSE(shown->Dock.Docked);
    EXPECT_EQ(row(kId), *shown);
    EXPECT_EQ(FRepo->LoadShown()->size(), 1);
    EXPECT_TRUE(FRepo->ShowAgain(QStringLiteral("GONE"), shown));
    EXPECT_FALSE(shown);
}

TEST_F(RepositoryTest, TheDeskAndTheUploadsSeeOnlyTheirAccountsNotes) {
    for (const auto& [id, account, shown] :
         {std::tuple{"ANN-S", "1", 1}, std::tuple{"ANN-H", "1", 0}, std::tuple{"BOB-S", "2", 1},
          std::tuple{"BOB-H", "2", 0}, std::tuple{"NONE-S", "", 1}, std::tuple{"NONE-H", "", 0}})
        FDb->Exec(QStringLiteral("insert into notes (id, mynote, shownote, commited, account, unsent) values "
                                 "(?, 'text', ?, 0, ?, 1)"),
                  {QString::fromLatin1(id), shown, QString::fromLatin1(account)});
    const auto ids = [](const std::optional<QList<NoteRecord>>& rows) {
        QStringList out;
        for (const NoteRecord& r : rows.value_or(QList<NoteRecord>{}))
            out.append(r.id());
        out.sort();
        return out;
    };
    const auto pendingIds = [](const std::optional<NotePendingRows>& rows) {
        QStringList out;
        for (int i = 0; rows && i < rows->Rows.rowCount(); ++i)
            out.append(rows->id(i));
        out.sort();
        return out;
    };
    // Ann signed in: her notes and nobody's on the desk, only hers go up.
    FRepo->SetAccount(QStringLiteral("1"), QStringLiteral("1"));
    EXPECT_EQ(ids(FRepo->LoadShown()), (QStringList{"ANN-S", "NONE-S"}));
    EXPECT_EQ(ids(FRepo->LoadHidden()), (QStringList{"ANN-H", "NONE-H"}));
    EXPECT_EQ(pendingIds(FRepo->PendingAll()), (QStringList{"ANN-H", "ANN-S", "NONE-H", "NONE-S"}));
    FRepo->SetOwnRowsOnly(true); // Ann is leaving: nobody's notes stay
    EXPECT_EQ(pendingIds(FRepo->PendingAll()), (QStringList{"ANN-H", "ANN-S"}));
    FRepo->SetOwnRowsOnly(false);
    EXPECT_EQ(pendingIds(FRepo->PendingOne(QStringLiteral("BOB-S"))), QStringList{});
    // Signed out, Ann's desk stays; nothing goes up, and a new note is nobody's.
    FRepo->SetAccount(QString(), QStringLiteral("1"));
    EXPECT_EQ(ids(FRepo->LoadShown()), (QStringList{"ANN-S", "NONE-S"}));
    ASSERT_TRUE(FRepo->InsertFromShell(QStringLiteral("NEW"), QPoint(1, 1)));
    EXPECT_EQ(row(QStringLiteral("NEW")).Account, QString());
    // Bob signs in: nobody's notes join him.
    FRepo->SetAccount(QStringLiteral("2"), QStringLiteral("2"));
    ASSERT_TRUE(FRepo->JoinAccount(QStringLiteral("2")));
    EXPECT_EQ(ids(FRepo->LoadShown()), (QStringList{"BOB-S", "NEW", "NONE-S"}));
    EXPECT_EQ(pendingIds(FRepo->PendingAll()), (QStringList{"BOB-H", "BOB-S", "NONE-H", "NONE-S"}));
}

TEST_F(RepositoryTest, DownloadsCreateUpdateAndRemoveWithoutMarkingPending) {
    TNoteItem item;
    item.NoteID = kId;
    item.NNote = QStringLiteral("from the server");
    item.ShowNote = 1;
    item.FontName = QStringLiteral("Tahoma");
    item.FontSize = 11;
    item.VoiceMd5 = QStringLiteral("0123456789abcdef0123456789abcdef");
    EXPECT_FALSE(FRepo->UpdateFromServer(item)); // no such row yet
    ASSERT_TRUE(FRepo->InsertFromServer(item));
    NoteRecord stored = row(kId);
    EXPECT_EQ(stored.Note.NNote, item.NNote);
    EXPECT_FALSE(stored.Pending);

    item.NNote = QStringLiteral("changed elsewhere");
    item.AlertType = 1;
    ASSERT_TRUE(FRepo->UpdateFromServer(item));
    stored = row(kId);
    EXPECT_EQ(stored.Note.NNote, item.NNote);
    EXPECT_EQ(stored.Note.AlertType, 1);
    EXPECT_FALSE(stored.Pending);
    EXPECT_EQ(stored.Rev, 0);

    ASSERT_TRUE(FRepo->RemoveFromServer(kId));
    EXPECT_EQ(FRepo->Exists(kId), false);
    for (const TChange& c : FChanges)
        EXPECT_EQ(c.Fields, TUploadFields{}.bits());
}

TEST_F(RepositoryTest, AFailedWriteReportsItselfAndChangesNothing) {
    addCommittedRow(kId);
    FDb->Exec(QStringLiteral("PRAGMA query_only=1"));
    NoteRecord edit = row(kId);
    edit.Note.NNote = QStringLiteral("lost?");
    EXPECT_FALSE(FRepo->SaveEdit(edit));
    EXPECT_FALSE(FRepo->SetTopMost(kId, true));
    EXPECT_FALSE(FRepo->Delete(kId).has_value());
    EXPECT_FALSE(FRepo->InsertFromShell(QStringLiteral("NEW"), QPoint(1, 1)));
    EXPECT_TRUE(FChanges.empty());
    EXPECT_EQ(FFailures.size(), 4);
    FDb->Exec(QStringLiteral("PRAGMA query_only=0"));
    EXPECT_EQ(row(kId).Note.NNote, QStringLiteral("text"));
    EXPECT_FALSE(row(kId).Pending);
}

TEST(RepositoryUpgrade, AnOldDatabaseGainsTheRevisionColumn) {
    // Made the way older versions made it: every other column, no revision.
    const QString path = testenv::freshDir(QStringLiteral("old")) + QStringLiteral("/brisel.mdb");
    {
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &raw), SQLITE_OK);
        ASSERT_EQ(
            sqlite3_exec(raw,
                         "create table notes (id varchar(36), mynote text, form_x int, form_y int, "
                         "form_w int, form_h int, form_trans int, fontcolor int, fontsize int, "
                         "fontname varchar(255), fontbold int, alerttype int, alertvalue1 varchar(255), "
                         "alertvalue2 varchar(255), alertvalue3 varchar(255), shownote int, "
                         "ctime datetime, commited int, istopmost int default 0);"
                         "insert into notes (id, mynote, shownote, commited) values ('A', 'old', 1, 0);",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
        sqlite3_close(raw);
    }
    auto db = TDbConnection::Open(path);
    UpgradeSchema(*db);
    NoteRepository repo(*db);
    const std::optional<NotePendingRows> pending = repo.PendingAll();
    ASSERT_TRUE(pending && pending->Rows.rowCount() == 1);
    EXPECT_EQ(pending->Revs[0], 0);
    EXPECT_TRUE(repo.SetFontColor(QStringLiteral("A"), 7));
    EXPECT_EQ(repo.Find(QStringLiteral("A"))->Rev, 1);
    EXPECT_FALSE(repo.MarkCommittedIfUnchanged(QStringLiteral("A"), 0));
    EXPECT_TRUE(repo.MarkCommittedIfUnchanged(QStringLiteral("A"), 1));
}
