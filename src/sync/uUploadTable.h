#pragma once
// Which change of a note's row asks for an upload at once, and whether the other
// devices are told when it is done. Everything else waits for the periodic upload.

#include "data/uDataTypes.h"

struct TUploadRule {
    bool Upload = false;
    // A note-changed notice on the push channel once the upload is through.
    bool Notify = false;
};

// The rule for a write that changed these fields (as the note repository reports
// them); no fields is a write of local state only.
[[nodiscard]] TUploadRule UploadRuleFor(TUploadFields fields);
