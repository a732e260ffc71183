#include "data/uAppState.h"

TAccountKeys TAppState::AccountSnapshot() const {
    std::lock_guard l(AccountLock);
    const TNoteOptions& o = NoteOptions;
    return {o.FconfigUserID, o.FconfigUserPass, o.FconfigUserName, o.FconfigPcID};
}

void TAppState::LoadSettings(const QString& fileName) {
    TNoteOptions loaded;
    loaded.LoadFromFile(fileName);
    std::lock_guard l(AccountLock);
    NoteOptions = std::move(loaded);
}

TAppState& AppState() {
    static TAppState state;
    return state;
}
