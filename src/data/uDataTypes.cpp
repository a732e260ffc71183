#include "data/uDataTypes.h"

TNoteItem NoteItemFromRow(const TRowSet& rows, int row) {
    TNoteItem n;
    n.NoteID = rows.asText(row, QStringLiteral("id"));
    n.NNote = rows.asText(row, QStringLiteral("mynote"));
    n.NoteType = rows.asInt(row, QStringLiteral("notetype"));
    n.FmTrans = rows.asInt(row, QStringLiteral("form_trans"));
    n.FmX = rows.asInt(row, QStringLiteral("form_x"));
    n.FmY = rows.asInt(row, QStringLiteral("form_y"));
    n.FmW = rows.asInt(row, QStringLiteral("form_w"));
    n.FmH = rows.asInt(row, QStringLiteral("form_h"));
    n.FontColor = rows.asInt(row, QStringLiteral("fontcolor"));
    n.FontSize = rows.asInt(row, QStringLiteral("fontsize"));
    n.FontName = rows.asText(row, QStringLiteral("fontname"));
    n.FontBold = rows.asInt(row, QStringLiteral("fontbold"));
    n.BGColorIdx = rows.asInt(row, QStringLiteral("bgcolorindex"));
    n.ShowNote = rows.asInt(row, QStringLiteral("shownote"));
    n.AlertType = rows.asInt(row, QStringLiteral("alerttype"));
    n.AlertValue1 = rows.asText(row, QStringLiteral("alertvalue1"));
    n.AlertValue2 = rows.asText(row, QStringLiteral("alertvalue2"));
    n.AlertValue3 = rows.asText(row, QStringLiteral("alertvalue3"));
    n.IsTopMost = rows.asInt(row, QStringLiteral("istopmost"));
    n.AutoHeight = rows.asInt(row, QStringLiteral("autoheight"));
    n.ShowAsList = rows.asInt(row, QStringLiteral("showaslist"));
    n.VoiceMd5 = rows.asText(row, QStringLiteral("filemd5"));
    return n;
}
