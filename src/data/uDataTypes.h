#pragma once
// The plain records that carry a note and its side data between the store,
// the note windows, the exchange documents and the sync workers.

#include "shared/uRowSet.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <cstdint>
#include <functional>

struct TNoteItem {
    QString NoteID;
    QString NNote;
    qint32 NoteType = 0;
    qint32 FmTrans = 0;
    qint32 FmX = 0;
    qint32 FmY = 0;
    qint32 FmW = 0;
    qint32 FmH = 0;
    qint32 FontColor = 0;
    qint32 FontSize = 0;
    QString FontName;
    qint32 FontBold = 0;
    qint32 BGColorIdx = 0;
    qint32 Deleted = 0;
    qint32 ShowNote = 0;
    qint32 AlertType = 0;
    QString AlertValue1;
    QString AlertValue2;
    QString AlertValue3;
    qint32 IsTopMost = 0;
    qint32 AutoHeight = 0;
    qint32 ShowAsList = 0;
    QString VoiceMd5;

    friend bool operator==(const TNoteItem&, const TNoteItem&) = default;
};

struct TFontInfo {
    QString FontName;
    qint32 FontSize = 0;
    qint32 FontColor = 0;
    bool FontBold = false;
};

enum TUploadField : quint8 {
    utNote = 0,
    utBgcolor,
    utFontName,
    utFontSize,
    utFontBold,
    utTransparency,
    utShowAsList,
    utAlert,
    utIsTopMost,
    utAutoHeight,
    utFontColor,
};
inline constexpr int kUploadFieldCount = 11;

// A set of TUploadField held in 16 bits, bit n for the member of ordinal n;
// the empty set stands for "all attributes".
class TUploadFields {
public:
    constexpr TUploadFields() = default;
    constexpr TUploadFields(std::initializer_list<TUploadField> members) {
        for (auto m : members)
            FBits = static_cast<quint16>(FBits | (1u << m));
    }
    [[nodiscard]] static constexpr TUploadFields fromBits(quint16 bits) {
        TUploadFields f;
        f.FBits = bits;
        return f;
    }
    [[nodiscard]] constexpr quint16 bits() const { return FBits; }
    [[nodiscard]] constexpr bool contains(TUploadField m) const { return (FBits >> m) & 1u; }
    [[nodiscard]] constexpr bool isEmpty() const { return FBits == 0; }
    constexpr TUploadFields& operator+=(TUploadField m) {
        FBits = static_cast<quint16>(FBits | (1u << m));
        return *this;
    }
    friend constexpr bool operator==(TUploadFields, TUploadFields) = default;

private:
    quint16 FBits = 0;
};

// Which store a server answered from, and how many changes of the account it had
// stored: a store made anew or restored from a copy shows as another id or a
// smaller count.
struct TServerStoreState {
    QString StoreId;
    qint64 Changes = -1; // -1: the server did not say
    [[nodiscard]] bool Known() const { return !StoreId.isEmpty() && Changes >= 0; }
};

enum TNoteStateMember : quint8 { nsFocused = 0, nsEditing };

class TNoteState {
public:
    [[nodiscard]] constexpr bool contains(TNoteStateMember m) const { return (FBits >> m) & 1u; }
    constexpr void include(TNoteStateMember m) { FBits = static_cast<quint8>(FBits | (1u << m)); }
    constexpr void exclude(TNoteStateMember m) { FBits = static_cast<quint8>(FBits & ~(1u << m)); }
    [[nodiscard]] constexpr bool isEmpty() const { return FBits == 0; }

private:
    quint8 FBits = 0;
};

// Called on the UI thread for every note a download worker adds to the store.
using GetNewNoteEvent = std::function<void(TNoteItem nItem)>;

struct TAdItem {
    QString AdText;
    QString AdUrl;
};

struct TAudioDLItem {
    QString NoteId;
    QString Note;
};

// Builds a note record from one row of "select * from notes"; the four docking
// columns are not part of the record.
[[nodiscard]] TNoteItem NoteItemFromRow(const TRowSet& rows, int row);
