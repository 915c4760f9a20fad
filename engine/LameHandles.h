#pragma once

#include <lame/lame.h>
#include <memory>

namespace orvanta {

struct LameCloser {
    void operator()(lame_global_flags* context) const { lame_close(context); }
};

// A LAME encoder/parameter context; the engine holds one per conversion.
using LamePtr = std::unique_ptr<lame_global_flags, LameCloser>;

// LAME fills tables shared by every context while it sets one up; these make and set up
// contexts one at a time, so decodes on different threads can do so at once.
LamePtr NewLameContext();
int InitLameParams(lame_global_flags* context);

} // namespace orvanta
