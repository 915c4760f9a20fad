#pragma once

#include <lame/lame.h>
#include <memory>

namespace orvanta {

struct LameCloser {
    void operator()(lame_global_flags* context) const { lame_close(context); }
};

struct HipCloser {
    void operator()(hip_global_flags* decoder) const { hip_decode_exit(decoder); }
};

// A LAME encoder/parameter context; the engine holds one per conversion.
using LamePtr = std::unique_ptr<lame_global_flags, LameCloser>;

// One MPEG decoder's state: frames it has buffered, the bit reservoir, the stream's tag.
using HipPtr = std::unique_ptr<hip_global_flags, HipCloser>;

} // namespace orvanta
