#include "platform/uMessages.h"

#include "platform/uThreadHandOver.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

LRESULT SendMessageW(QObject* target, int msg, WPARAM wParam, LPARAM lParam) {
    if (!target)
        return 0;
    if (target->thread() == QThread::currentThread()) {
        TWinMessage m(msg, wParam, lParam);
        QCoreApplication::sendEvent(target, &m);
        return m.Result;
    }
    LRESULT result = 0;
    QPointer<QObject> guard(target);
    // If the target dies first, Qt drops the call and still releases the waiting caller.
    RunOnThreadOfAndWait(target, [&] {
        if (!guard)
            return;
        TWinMessage m(msg, wParam, lParam);
        QCoreApplication::sendEvent(guard.data(), &m);
        result = m.Result;
    });
    return result;
}
