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
