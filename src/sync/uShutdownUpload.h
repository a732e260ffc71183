#pragma once
// The last upload of pending notes when the program exits.

#include <QString>
#include <functional>

class NoteRepository;
class TNoteOptions;

enum class TShutdownUploadResult {
    NotSignedIn, // nothing sent: the server would refuse anonymous rows anyway
    NothingPending,
    Stored,  // the server answered "0": the sent rows are committed
    Refused, // another answer: the rows stay pending
    Failed,  // no answer (network, time-out): the rows stay pending
};

struct TShutdownUploadOptions {
    QString ApiBase;           // NotesApiBase()
    int TimeoutMs = 15000;     // all requests together; exit never waits longer
    qint64 MaxUploadBytes = 0; // the server's body limit when known
    // Runs the blocking request; by default on a helper thread while the caller's
    // event loop keeps turning.
    std::function<void(const std::function<void()>&)> RunBlocking;
};

// Selects the pending rows, posts them as exchange documents (one per set of
// unsent fields and part size) and, for each the server stored, marks committed
// each sent row that still holds the version that went up. Refused: some rows
// stay pending (a part too large for the server, or another answer). Never throws.
TShutdownUploadResult ShutdownUpload(NoteRepository& notes, const TNoteOptions& options,
                                     const TShutdownUploadOptions& how);
