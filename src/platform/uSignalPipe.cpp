#include "platform/uSignalPipe.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int gPipe[2] = {-1, -1};

void onSignal(int sig) {
    const unsigned char b = static_cast<unsigned char>(sig);
    const int saved = errno;
    (void)!::write(gPipe[1], &b, 1);
    errno = saved;
}
} // namespace

TSignalPipe::TSignalPipe(QObject* parent) : QObject(parent) {
    if (gPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gPipe) != 0)
        return;
    FNotifier = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TSignalPipe::onReadable);
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
}

TSignalPipe::~TSignalPipe() {
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
}

void TSignalPipe::onReadable() {
    unsigned char b = 0;
    while (::read(gPipe[0], &b, 1) == 1)
        emit Terminate(b);
}
