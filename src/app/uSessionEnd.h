#pragma once
// The end of the desktop session, however it comes: a termination signal, the
// session manager's save request at log-off, or the display going away. Every
// note saves its text, place and look first; what can still run after that
// (the ordered shutdown with its last upload) follows.

#include <QString>

class TFmMain;

// Ends any modal loop, saves every note as at the end of a session, then runs
// the ordered shutdown.
void EndSessionAndShutDown(TFmMain& main);

// A termination signal ends the session as above, the ordered shutdown by
// kOrderedExitMs after the signal came (also when the user-interface thread
// hears of it late).
inline constexpr int kOrderedExitMs = 3500;
class TSignalPipe;
void EndOnSignals(TSignalPipe& pipe, TFmMain& main);
// Should the user-interface thread not have ended the process within
// kSignalGraceMs of a signal, it ends regardless, once the notes were saved for
// the session's end (a step of that thread still running holds the end back,
// at most kSaveWaitMs more: an edit is worth more than the time) and no write to
// the store at `storePath` is under way (waiting for one at most
// kStoreWriteWaitMs). No step of that thread takes long: a last resort.
inline constexpr int kSignalGraceMs = 4000;
inline constexpr int kSaveWaitMs = 60000;
inline constexpr int kStoreWriteWaitMs = 400;
void EndAfterSignalsRegardless(TSignalPipe& pipe, const QString& storePath);
// Returns once no other connection writes to the store (or after `boundMs`).
void WaitForStoreWrites(const QString& storePath, int boundMs);

// While it lives: the session manager's save request ends the session as above,
// and a process that ends because the display went away saves the notes on
// its way out. Make it after the main window and drop it before.
class TSessionEndWatch {
public:
    explicit TSessionEndWatch(TFmMain& main);
    ~TSessionEndWatch();
    TSessionEndWatch(const TSessionEndWatch&) = delete;
    TSessionEndWatch& operator=(const TSessionEndWatch&) = delete;
};
