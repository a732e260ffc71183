// Note ids name rows and files on both sides of the exchange: the one shape
// check both use, and the audio path that must never leave its folder.

#include "shared/uNoteId.h"

#include <QDir>
#include <QString>
#include <gtest/gtest.h>
#include <string>

namespace {

const char kGood[] = "6F9619FF-8B86-D011-B42D-00C04FC964FF";

// Ids a hostile server or client might send, each of which must be refused.
std::vector<std::pair<const char*, std::string>> hostileIds() {
    return {
        {"empty", ""},
        {"dot dot", ".."},
        {"parent path", "../../../../PLANTED"},
        {"settings file", "../config.ini"},
        {"store file", "../brisel.mdb"},
        {"slash", "/"},
        {"absolute", "/etc/passwd"},
        {"backslash", "..\\config.ini"},
        {"nul inside", std::string("6F9619FF-8B86-D011-B42D-00C04FC964F\0", 36)},
        {"nul at the front", std::string("\0"
                                         "F9619FF-8B86-D011-B42D-00C04FC964FF",
                                         36)},
        {"too long", std::string(kGood) + "0"},
        {"far too long", std::string(4096, 'A')},
        {"too short", std::string(kGood).substr(0, 35)},
        {"slash for a hyphen", "6F9619FF/8B86-D011-B42D-00C04FC964FF"},
        {"slash at the end", "6F9619FF-8B86-D011-B42D-00C04FC964F/"},
        {"backslash for a hyphen", "6F9619FF\\8B86-D011-B42D-00C04FC964FF"},
        {"dots for a group", "6F9619FF-8B86-D011-B42D-............"},
        {"braces", "{6F9619FF-8B86-D011-B42D-00C04FC964F}"},
        {"hyphens moved", "6F9619FF8-B86-D011-B42D-00C04FC964FF"},
        {"not hex", "6F9619FF-8B86-D011-B42D-00C04FC964FG"},
        {"blank", "6F9619FF-8B86-D011-B42D 00C04FC964FF"},
        {"non-ASCII digit", "6F9619FF-8B86-D011-B42D-00C04FC964F\xD9\xA1"},
    };
}

} // namespace

TEST(NoteId, OnlyTheGuidShapeIsANoteId) {
    for (const auto& [what, id] : hostileIds()) {
        SCOPED_TRACE(what);
        EXPECT_FALSE(IsNoteId(std::string_view(id)));
        EXPECT_FALSE(IsNoteId(QString::fromUtf8(id.data(), qsizetype(id.size()))));
    }
    for (const char* id :
         {kGood, "6f9619ff-8b86-d011-b42d-00c04fc964ff", "00000000-0000-0000-0000-000000000000"}) {
        SCOPED_TRACE(id);
        EXPECT_TRUE(IsNoteId(std::string_view(id)));
        EXPECT_TRUE(IsNoteId(QString::fromLatin1(id)));
    }
    // A QString that narrows to the shape is still not one.
    QString wide = QString::fromLatin1(kGood);
    wide[0] = QChar(0x0136); // its low byte is '6'
    EXPECT_FALSE(IsNoteId(wide));
}

TEST(NoteId, AudioPathsStayInsideTheirFolder) {
    const QString folder = QStringLiteral("/home/ann/.local/share/Zuvo/Note/audio/");
    const QString good = QString::fromLatin1(kGood);
    EXPECT_EQ(NoteFileIn(folder, good), folder + good);
    EXPECT_EQ(NoteFileIn(QStringLiteral("rel/audio"), good), QStringLiteral("rel/audio/") + good);
    // Rows from before ids were checked may hold other names; inside the folder they still work.
    EXPECT_EQ(NoteFileIn(folder, QStringLiteral("A")), folder + QStringLiteral("A"));
    EXPECT_EQ(NoteFileIn(folder, QStringLiteral("..A")), folder + QStringLiteral("..A"));
    const QString outside[] = {
        QString(),
        QStringLiteral("."),
        QStringLiteral(".."),
        QStringLiteral("../../../../PLANTED"),
        QStringLiteral("../config.ini"),
        QStringLiteral("../brisel.mdb"),
        QStringLiteral("/"),
        QStringLiteral("/etc/passwd"),
        QStringLiteral("..\\config.ini"),
        QStringLiteral("a/b"),
        QStringLiteral("6F9619FF/8B86-D011-B42D-00C04FC964FF"),
        QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964F/"),
        QString::fromLatin1("6F9619FF-8B86-D011-B42D-00C04FC964F\0", 36),
    };
    for (const QString& id : outside) {
        SCOPED_TRACE(id.toStdString());
        EXPECT_TRUE(NoteFileIn(folder, id).isEmpty());
    }
    // No folder: nothing to put a file in.
    EXPECT_TRUE(NoteFileIn(QString(), good).isEmpty());
}
