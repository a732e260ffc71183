#pragma once
// The desktop's "last input" tick: when the user last touched the keyboard or
// mouse, on GetTickCount's clock. By default the X screensaver extension is
// asked; where there is none, or no X display, the user counts as active now
// (idle time 0).

#include <cstdint>
#include <functional>
#include <optional>

// Milliseconds since the last user input, or nothing when unknown.
using TIdleProbe = std::function<std::optional<std::uint32_t>()>;

// Replaces the probe (tests, other display servers); returns the previous one.
TIdleProbe SetIdleProbe(TIdleProbe probe);

// GetTickCount() minus the idle time (32-bit wrapping, like the tick count).
[[nodiscard]] std::uint32_t GetLastInputTick();
