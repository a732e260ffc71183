#pragma once
// The end of the desktop session, however it comes: a termination signal, the
// session manager's save request at log-off, or the display going away. Every
// note saves its text, place and look first; what can still run after that
// (the ordered shutdown with its last upload) follows.

class TFmMain;

// Ends any modal loop, saves every note as at the end of a session, then runs
// the ordered shutdown.
void EndSessionAndShutDown(TFmMain& main);

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
