#pragma once
// The per-user single-instance lock. The kernel releases it when the holder
// exits or crashes, so a crashed instance never blocks the next start.

#include <QString>

class TSingleInstance {
public:
    // name: the lock's name, unique per program ("Zuvo note").
    explicit TSingleInstance(const QString& name);
    ~TSingleInstance();
    TSingleInstance(const TSingleInstance&) = delete;
    TSingleInstance& operator=(const TSingleInstance&) = delete;

    // True when this process now holds the lock; false when another holds it.
    [[nodiscard]] bool TryAcquire();
    [[nodiscard]] const QString& lockPath() const { return FPath; }

    // $XDG_RUNTIME_DIR, or a private per-user folder (mode 0700) when unset;
    // empty when no private folder can be had.
    [[nodiscard]] static QString RuntimeFolder();

private:
    QString FPath;
    int FFd = -1;
};
