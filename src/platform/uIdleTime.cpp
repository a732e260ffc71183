#include "platform/uIdleTime.h"

#include "platform/uTicks.h"

#include <utility>

namespace {

TIdleProbe& probe() {
    static TIdleProbe p;
    return p;
}

} // namespace

TIdleProbe SetIdleProbe(TIdleProbe p) {
    return std::exchange(probe(), std::move(p));
}

std::uint32_t GetLastInputTick() {
    const std::uint32_t now = GetTickCount();
    const TIdleProbe& p = probe();
    const std::optional<std::uint32_t> idle = p ? p() : std::nullopt;
    return now - idle.value_or(0);
}
