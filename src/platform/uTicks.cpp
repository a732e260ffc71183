#include "platform/uTicks.h"

#include <ctime>

std::uint32_t GetTickCount() {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    const std::uint64_t ms = std::uint64_t(ts.tv_sec) * 1000u + std::uint64_t(ts.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}
