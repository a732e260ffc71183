#include "sync/uUploadTable.h"

TUploadRule UploadRuleFor(TUploadFields fields) {
    struct TRow {
        TUploadFields Fields;
        TUploadRule Rule;
    };
    static const TRow table[] = {
        {{utNote}, {true, true}},
        {{utBgcolor}, {true, true}},
        {{utShowAsList}, {true, true}},
        {{utAlert}, {true, true}},
        {{utTransparency}, {true, false}},
        {{utFontColor}, {true, false}},
        {{utFontName, utFontSize, utFontBold}, {true, false}},
        // Pending only: they travel with the next upload of the note.
        {{utIsTopMost}, {false, false}},
        {{utAutoHeight}, {false, false}},
    };
    for (const TRow& r : table)
        if (r.Fields == fields)
            return r.Rule;
    return {};
}
