#pragma once
// The program version as it sits inside every executable that links the core:
// GetFileVersionText finds it by scanning a file's bytes, the way the desktop
// reads a version resource. The parts are little-endian on every host so a
// file can be read on a machine of another byte order.

#include <cstdint>

struct TVersionMarker {
    static constexpr int kStartSize = 16;
    static constexpr int kPartsSize = 8;
    static constexpr int kEndSize = 8;

    unsigned char Start[kStartSize];
    // Major, minor, release, build: each low byte first.
    unsigned char Parts[kPartsSize];
    unsigned char End[kEndSize];
};
static_assert(sizeof(TVersionMarker) ==
              TVersionMarker::kStartSize + TVersionMarker::kPartsSize + TVersionMarker::kEndSize);

// Defined in its own object with C linkage, so a link line can demand it
// (-Wl,--undefined=zuvo_version_marker) even from an executable that calls none
// of the helpers.
extern "C" const TVersionMarker zuvo_version_marker;
