#pragma once
#include <cstdint>

// Milliseconds since boot, wrapping at 32 bits like the desktop's tick count.
[[nodiscard]] std::uint32_t GetTickCount();
