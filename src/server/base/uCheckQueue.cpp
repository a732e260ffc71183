#include "server/base/uCheckQueue.h"

#include <algorithm>

namespace zsrv {

namespace {

thread_local std::uint64_t tFailedChecks = 0;
thread_local std::uint64_t tGoodChecks = 0;
// Addresses remembered at most; past it, those not waiting are forgotten.
constexpr std::size_t kMaxAddresses = 100000;

} // namespace

TCheckQueue::TCheckQueue(TCheckQueueOptions options) : FOptions(options) {
    const int threads = std::max(1, FOptions.Threads);
    for (int i = 0; i < threads; ++i)
        FThreads.emplace_back([this] { run(); });
}

TCheckQueue::~TCheckQueue() {
    Stop();
}

void TCheckQueue::Stop() {
    {
        std::lock_guard l(FLock);
        FStopping = true;
    }
    FWake.notify_all();
    for (std::thread& t : FThreads)
        if (t.joinable())
            t.join();
}

void TCheckQueue::NoteFailedCheck() {
    ++tFailedChecks;
}

void TCheckQueue::NoteGoodCheck() {
    ++tGoodChecks;
}

bool TCheckQueue::Idle() const {
    std::lock_guard l(FLock);
    return FJobs.empty() && FRunning == 0;
}

TCheckQueue::TAdmit TCheckQueue::Post(const std::string& address, std::function<void()> job) {
    {
        std::lock_guard l(FLock);
        if (FStopping)
            return TAdmit::Full;
        if (const auto it = FAddresses.find(address);
            it != FAddresses.end() && std::chrono::steady_clock::now() < it->second.Until)
            return TAdmit::BackingOff;
        if (FJobs.size() >= FOptions.Capacity)
            return TAdmit::Full;
        FJobs.emplace_back(address, std::move(job));
    }
    FWake.notify_one();
    return TAdmit::Queued;
}

std::chrono::seconds TCheckQueue::RetryAfter(const std::string& address) const {
    using namespace std::chrono;
    std::lock_guard l(FLock);
    if (const auto it = FAddresses.find(address); it != FAddresses.end()) {
        const auto left = it->second.Until - steady_clock::now();
        if (left > steady_clock::duration::zero())
            return std::max(seconds(1), ceil<seconds>(left));
    }
    // A full line empties at the pace of its threads; a second is a fair guess.
    return seconds(1);
}

void TCheckQueue::run() {
    for (;;) {
        std::pair<std::string, std::function<void()>> next;
        {
            std::unique_lock l(FLock);
            FWake.wait(l, [this] { return FStopping || !FJobs.empty(); });
            if (FJobs.empty())
                return;
            next = std::move(FJobs.front());
            FJobs.pop_front();
            ++FRunning;
        }
        const std::uint64_t failedBefore = tFailedChecks;
        const std::uint64_t goodBefore = tGoodChecks;
        try {
            next.second();
        } catch (...) {
            // A job reports its own errors; the thread must live on for the others.
        }
        // What the job holds (a connection, objects of its event loop) goes before
        // the queue can say it is idle: whoever waits for that may then end them.
        next.second = nullptr;
        settle(next.first, tFailedChecks != failedBefore, tGoodChecks != goodBefore);
    }
}

void TCheckQueue::settle(const std::string& address, bool failed, bool succeeded) {
    std::lock_guard l(FLock);
    --FRunning;
    if (!failed) {
        if (succeeded)
            FAddresses.erase(address);
        return;
    }
    if (FAddresses.size() >= kMaxAddresses && !FAddresses.count(address)) {
        const auto now = std::chrono::steady_clock::now();
        std::erase_if(FAddresses, [now](const auto& entry) { return entry.second.Until <= now; });
        if (FAddresses.size() >= kMaxAddresses)
            return;
    }
    TAddress& a = FAddresses[address];
    ++a.Failures;
    const int over = a.Failures - FOptions.FailuresBeforeBackOff;
    if (over < 0)
        return;
    auto wait = FOptions.BackOff * (std::int64_t(1) << std::min(over, 16));
    a.Until =
        std::chrono::steady_clock::now() + std::min<std::chrono::milliseconds>(wait, FOptions.LongestBackOff);
}

} // namespace zsrv
