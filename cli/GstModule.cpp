// orvanta-cli-gst.so: the M4R and Ogg encoders, loaded by the tool only for those formats.
#include "ModuleEntries.h"

namespace orvanta::cli {

namespace {

std::string MissingPlugins(RingtoneFormat format) {
    const MissingElements missing = FindMissingElements(format);
    return missing.Empty() ? std::string() : DescribeMissingElements(missing);
}

constexpr GstModule kEntries{&MissingPlugins, &EncodeRingtone};

} // namespace

} // namespace orvanta::cli

extern "C" __attribute__((visibility("default"))) const orvanta::cli::GstModule*
orvanta_cli_gst_module() {
    return &orvanta::cli::kEntries;
}
