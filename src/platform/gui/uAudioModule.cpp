#include "platform/gui/uAudioModule.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>
#include <QMutex>
#include <QMutexLocker>

namespace {

QMutex gModuleLock;
QString gModuleFolder;
// Set once the module is loaded and accepted; the library is never unloaded,
// since engines (and the sound system's threads) may outlive any one player.
TCreateAudioEngineFn gCreate = nullptr;

TCreateAudioEngineFn LoadModule(QString* error) {
    const QString path = AudioModulePath();
    QLibrary library(path);
    if (!library.load()) {
        *error = QStringLiteral("the audio module %1 cannot be loaded (%2)").arg(path, library.errorString());
        return nullptr;
    }
    const auto version =
        reinterpret_cast<TAudioEngineInterfaceFn>(library.resolve(kAudioEngineInterfaceSymbol));
    const auto create = reinterpret_cast<TCreateAudioEngineFn>(library.resolve(kCreateAudioEngineSymbol));
    if (!version || !create || version() != kAudioEngineInterface) {
        *error = QStringLiteral("the audio module %1 does not belong to this program").arg(path);
        library.unload();
        return nullptr;
    }
    return create;
}

} // namespace

void SetAudioModuleFolder(const QString& folder) {
    QMutexLocker lock(&gModuleLock);
    gModuleFolder = folder;
}

QString AudioModulePath() {
    QString folder;
    {
        QMutexLocker lock(&gModuleLock);
        folder = gModuleFolder;
    }
    if (folder.isEmpty())
        folder = QCoreApplication::applicationDirPath();
    return QDir(folder).filePath(QStringLiteral("zuvonote-audio.so"));
}

std::unique_ptr<TAudioEngine> CreateAudioEngine(TAudioEvents* events, QString* error) {
    TCreateAudioEngineFn create = nullptr;
    QString reason;
    {
        QMutexLocker lock(&gModuleLock);
        create = gCreate;
    }
    if (!create) {
        // Loading is slow (the codecs, the sound system); the lock only guards the pointer.
        create = LoadModule(&reason);
        QMutexLocker lock(&gModuleLock);
        if (create)
            gCreate = create;
    }
    if (!create) {
        if (error)
            *error = reason;
        return nullptr;
    }
    return std::unique_ptr<TAudioEngine>(create(events));
}
