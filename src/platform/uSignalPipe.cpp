#include "platform/uSignalPipe.h"

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <utility>

namespace {
int gPipe[2] = {-1, -1};
// The write end of the watcher's own pipe: the handler writes the signal, the
// destructor of an unused watcher a zero.
std::atomic<int> gWatchWrite{-1};
std::atomic<qint64> gArrivedMs{0};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<qint64>::is_always_lock_free,
              "used by the signal handler");

qint64 nowMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

void onSignal(int sig) {
    const unsigned char b = static_cast<unsigned char>(sig);
    const int saved = errno;
    gArrivedMs = nowMs();
    (void)!::write(gPipe[1], &b, 1);
    if (const int watcher = gWatchWrite; watcher >= 0)
        (void)!::write(watcher, &b, 1);
    errno = saved;
}

// Waits for the first byte on the watcher's pipe; a signal starts the grace time.
void watch(int fd, int graceMs, const std::function<void()>& lastResort,
           const std::function<void(int)>& end) {
    unsigned char sig = 0;
    for (;;) {
        const ssize_t n = ::read(fd, &sig, 1);
        if (n == 1)
            break;
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    // The read end stays open: a later signal's byte must find a reader, or
    // writing it would end the process with SIGPIPE.
    if (sig == 0)
        return; // the watcher was dropped before any signal (or its pipe closed)
    const qint64 until = nowMs() + graceMs;
    for (qint64 left = graceMs; left > 0; left = until - nowMs())
        ::poll(nullptr, 0, int(left));
    if (lastResort)
        lastResort();
    end(sig);
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
    // A watcher that saw no signal ends; one that did goes on guarding the exit.
    if (const int watcher = gWatchWrite.exchange(-1); watcher >= 0) {
        const unsigned char none = 0;
        (void)!::write(watcher, &none, 1);
        ::close(watcher);
    }
}

void TSignalPipe::EndWithin(int graceMs, std::function<void()> lastResort, std::function<void(int)> end) {
    int fds[2];
    if (gWatchWrite >= 0 || ::pipe2(fds, O_CLOEXEC) != 0)
        return;
    if (!end)
        end = [](int sig) { ::_exit(128 + sig); };
    // Detached: it must outlive everything that may hold up the exit.
    std::thread(watch, fds[0], graceMs, std::move(lastResort), std::move(end)).detach();
    gWatchWrite = fds[1];
}

qint64 TSignalPipe::MsSinceSignal() {
    return nowMs() - gArrivedMs;
}

void TSignalPipe::onReadable() {
    unsigned char b = 0;
    while (::read(gPipe[0], &b, 1) == 1)
        emit Terminate(b);
}
