#include "platform/uIdleTime.h"

#include "platform/uTicks.h"

#include <cstdlib>
#include <dlfcn.h>
#include <utility>

namespace {

// The X screensaver extension tells how long the user has been idle. Its
// libraries are loaded when first asked, so a machine without them (or
// without an X display) simply reports no idle time.
class TX11IdleProbe {
public:
    static std::optional<std::uint32_t> Query() {
        static TX11IdleProbe probe;
        return probe.Idle();
    }

private:
    // The layout of XScreenSaverInfo.
    struct TInfo {
        unsigned long Window;
        int State;
        int Kind;
        unsigned long TilOrSince;
        unsigned long Idle;
        unsigned long EventMask;
    };
    using TOpenDisplay = void* (*)(const char*);
    using TRootWindow = unsigned long (*)(void*);
    using TQueryExtension = int (*)(void*, int*, int*);
    using TQueryInfo = int (*)(void*, unsigned long, TInfo*);

    TX11IdleProbe() {
        if (!std::getenv("DISPLAY"))
            return;
        void* x11 = dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
        void* xss = x11 ? dlopen("libXss.so.1", RTLD_LAZY | RTLD_LOCAL) : nullptr;
        if (!xss)
            return;
        auto open = reinterpret_cast<TOpenDisplay>(dlsym(x11, "XOpenDisplay"));
        auto root = reinterpret_cast<TRootWindow>(dlsym(x11, "XDefaultRootWindow"));
        auto hasExtension = reinterpret_cast<TQueryExtension>(dlsym(xss, "XScreenSaverQueryExtension"));
        FQueryInfo = reinterpret_cast<TQueryInfo>(dlsym(xss, "XScreenSaverQueryInfo"));
        if (!open || !root || !hasExtension || !FQueryInfo)
            return;
        // A connection of its own, kept for the life of the process.
        FDisplay = open(nullptr);
        int event = 0, error = 0;
        if (!FDisplay || !hasExtension(FDisplay, &event, &error)) {
            FDisplay = nullptr;
            return;
        }
        FRoot = root(FDisplay);
    }

    [[nodiscard]] std::optional<std::uint32_t> Idle() const {
        TInfo info{};
        if (!FDisplay || !FQueryInfo(FDisplay, FRoot, &info))
            return std::nullopt;
        return static_cast<std::uint32_t>(info.Idle);
    }

    void* FDisplay = nullptr;
    unsigned long FRoot = 0;
    TQueryInfo FQueryInfo = nullptr;
};

TIdleProbe& probe() {
    static TIdleProbe p = [] { return TX11IdleProbe::Query(); };
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
