#include "data/uVersionMarker.h"

#include "uVersion.h"

namespace {
constexpr unsigned char lo(unsigned v) {
    return static_cast<unsigned char>(v & 0xFFu);
}
constexpr unsigned char hi(unsigned v) {
    return static_cast<unsigned char>((v >> 8) & 0xFFu);
}
static_assert(zuvo::kVersionMajor <= 0xFFFF && zuvo::kVersionMinor <= 0xFFFF &&
                  zuvo::kVersionRelease <= 0xFFFF && zuvo::kVersionBuild <= 0xFFFF,
              "each version part must fit in 16 bits");
} // namespace

// The magic bytes are spelt out only here: the reader derives its search
// pattern at run time, so the file holds them exactly once. The control bytes
// keep them from ever matching ordinary text.
extern "C" [[gnu::used]] const TVersionMarker zuvo_version_marker = {
    {0x89, 'Z', 'U', 'V', 'O', '-', 'V', 'E', 'R', 'S', 'I', 'O', 'N', '\r', '\n', 0x1A},
    {lo(zuvo::kVersionMajor), hi(zuvo::kVersionMajor), lo(zuvo::kVersionMinor), hi(zuvo::kVersionMinor),
     lo(zuvo::kVersionRelease), hi(zuvo::kVersionRelease), lo(zuvo::kVersionBuild), hi(zuvo::kVersionBuild)},
    {0x1A, 'E', 'N', 'D', '-', 'Z', 'V', 0x89},
};
