#pragma once
// The desktop's "last input" tick: when the user last touched the keyboard or
// mouse, on GetTickCount's clock. The display layer knows how to ask the
// display server; it installs a probe at start-up. Without one, or when the
// probe cannot tell, the user counts as active now (idle time 0).

#include <cstdint>
#include <functional>
#include <optional>

// Milliseconds since the last user input, or nothing when unknown.
using TIdleProbe = std::function<std::optional<std::uint32_t>()>;

// Installs the probe; returns the previous one.
TIdleProbe SetIdleProbe(TIdleProbe probe);

// GetTickCount() minus the idle time (32-bit wrapping, like the tick count).
[[nodiscard]] std::uint32_t GetLastInputTick();
