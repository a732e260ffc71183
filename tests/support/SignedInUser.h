#pragma once
// A signed-in account in the process-wide settings for the life of one test;
// afterwards nobody is signed in again.

#include "data/uAppState.h"

namespace testenv {

class TSignedInUser {
public:
    TSignedInUser(qint32 id, const QString& name, const QString& digest, const QString& pcId) {
        std::lock_guard l(AppState().AccountLock);
        TNoteOptions& o = AppState().NoteOptions;
        o.FconfigPcID = pcId;
        o.FconfigUserID = QString::number(id);
        o.FconfigUserName = name;
        o.FconfigUserPass = digest;
        AppState().PushUserId = id;
    }
    ~TSignedInUser() {
        std::lock_guard l(AppState().AccountLock);
        TNoteOptions& o = AppState().NoteOptions;
        o.FconfigUserID.clear();
        o.FconfigUserName.clear();
        o.FconfigUserPass.clear();
        AppState().PushUserId = 0;
    }
    TSignedInUser(const TSignedInUser&) = delete;
    TSignedInUser& operator=(const TSignedInUser&) = delete;
};

} // namespace testenv
