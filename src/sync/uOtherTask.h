#pragma once
// The basic-information task: once per run, when a user is signed in at
// start-up, it asks the notes site where the push server is. The fetch runs on
// a thread of its own; the answer is applied on the thread of the object that
// started it, so the push channel's address changes only there.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

#include "sync/uNotesService.h"

// The push server's address named by a basic-information document
// (<basicinfo><asyncserver>address</asyncserver></basicinfo>), or empty when the
// text is not such a document.
[[nodiscard]] QString ParseBasicInfo(const QByteArray& xml);
// The support mail address named by the same document (<supportmail>), or empty.
[[nodiscard]] QString ParseSupportAddress(const QByteArray& xml);

// Fetches the basic-information document from NotesSiteRoot() and returns what
// it says; nothing on any failure.
[[nodiscard]] TBasicInfo FetchBasicInfo();

class TOtherTaskThread {
public:
    using TOnDone = std::function<void(const TBasicInfo& info)>;
    // Starts the run: with signedIn the document is fetched, otherwise nothing
    // is sent. onDone gets what was found (nothing when none) on context's
    // thread, and is dropped if context is gone by then.
    static void Start(QObject* context, bool signedIn, TOnDone onDone);
};
