#include "LameHandles.h"

#include <mutex>

namespace orvanta {

namespace {

std::mutex& TableMutex() {
    static std::mutex mutex;
    return mutex;
}

} // namespace

LamePtr NewLameContext() {
    const std::lock_guard lock(TableMutex());
    return LamePtr(lame_init());
}

int InitLameParams(lame_global_flags* context) {
    const std::lock_guard lock(TableMutex());
    return lame_init_params(context);
}

} // namespace orvanta
