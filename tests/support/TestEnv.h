#pragma once
// Every test process runs with its own HOME, XDG folders and runtime folder, so
// no test can touch the real user's data.

#include <QByteArray>
#include <QString>

namespace testenv {

// Root of this process's private folders (created by the test main).
[[nodiscard]] QString root();
// A fresh empty folder under root() for one test.
[[nodiscard]] QString freshDir(const QString& name);
// The built program folder (build/bin) and the source tree.
[[nodiscard]] QString binDir();
[[nodiscard]] QString sourceDir();

void writeFile(const QString& path, const QByteArray& bytes);
[[nodiscard]] QByteArray readFile(const QString& path);

// A loopback port that this process holds bound but never listens on, for as
// long as it runs: a connection to it is refused at once, and no other program
// (another test run, a server someone started by hand) can take it meanwhile.
[[nodiscard]] quint16 refusedPort();
// http://127.0.0.1:<refusedPort()>/
[[nodiscard]] QString refusedRoot();

// Sets (or, with a null value, removes) an environment variable until the end
// of the scope, then puts back what was there.
class TScopedEnv {
public:
    TScopedEnv(const char* name, const QByteArray& value);
    ~TScopedEnv();
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    const char* FName;
    bool FHad;
    QByteArray FOld;
};

} // namespace testenv

namespace testenv {

// Makes a file or folder read-only for this process while it lives, also when the
// tests run as root (where permission bits do not stop writes): then the
// immutable attribute is used. ok() is false when neither works here.
class TReadOnly {
public:
    explicit TReadOnly(QString path);
    ~TReadOnly();
    TReadOnly(const TReadOnly&) = delete;
    TReadOnly& operator=(const TReadOnly&) = delete;
    [[nodiscard]] bool ok() const { return FOk; }

private:
    QString FPath;
    bool FImmutable = false;
    bool FOk = false;
};

} // namespace testenv
