#pragma once
// Password checks wait here, on threads of their own, never in the pool that
// serves requests: a flood of sign-ins cannot delay a request that needs no
// hash. The line is bounded, so a check past it is turned away at once
// instead of waiting for minutes; an address whose checks keep failing is
// turned away for a while, longer each time.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace zsrv {

struct TCheckQueueOptions {
    int Threads = 2;
    // Checks waiting for a thread; more are turned away.
    std::size_t Capacity = 256;
    // Failed checks an address may have in a row before it must wait.
    int FailuresBeforeBackOff = 10;
    // The first wait, doubled with each failure after it, up to the longest.
    std::chrono::milliseconds BackOff{1000};
    std::chrono::milliseconds LongestBackOff{60000};
};

class TCheckQueue {
public:
    enum class TAdmit { Queued, Full, BackingOff };

    explicit TCheckQueue(TCheckQueueOptions options = {});
    ~TCheckQueue();
    TCheckQueue(const TCheckQueue&) = delete;
    TCheckQueue& operator=(const TCheckQueue&) = delete;

    // Queues a job that may check passwords, for a client at an address. A
    // check that fails while the job runs counts against that address.
    [[nodiscard]] TAdmit Post(const std::string& address, std::function<void()> job);
    // How long a client turned away should wait before it tries again.
    [[nodiscard]] std::chrono::seconds RetryAfter(const std::string& address) const;
    // Lets the queued jobs run to their end and stops the threads.
    void Stop();

    // Called by the password check when a check fails or succeeds, on the
    // thread it runs on. A job that made no check leaves its address as it was.
    static void NoteFailedCheck();
    static void NoteGoodCheck();

    // Whether no job waits or runs (and every failure has been counted).
    [[nodiscard]] bool Idle() const;

private:
    struct TAddress {
        int Failures = 0;
        std::chrono::steady_clock::time_point Until{};
    };
    void run();
    void settle(const std::string& address, bool failed, bool succeeded);

    TCheckQueueOptions FOptions;
    mutable std::mutex FLock;
    std::condition_variable FWake;
    std::deque<std::pair<std::string, std::function<void()>>> FJobs;
    std::unordered_map<std::string, TAddress> FAddresses;
    std::size_t FRunning = 0;
    bool FStopping = false;
    std::vector<std::thread> FThreads;
};

} // namespace zsrv
