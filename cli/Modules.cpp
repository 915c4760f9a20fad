#include "Modules.h"

#include "EngineLog.h"
#include "LoadedModule.h"
#include "ModuleEntries.h"
#include "PlayCommand.h"
#include "PrintableText.h"
#include "ProgressSteps.h"

#include <cstdio>

namespace orvanta::cli {

namespace {

// The module's table, valid while `module` is held, or nullptr with `error` set.
template <typename Table>
const Table* OpenModule(const char* file, const char* entry, std::optional<LoadedModule>& module,
                        std::string& error) {
    module = LoadedModule::Load(file, error);
    if (!module) {
        return nullptr;
    }
    const Table* const table = module->Entries<Table>(entry);
    if (table == nullptr) {
        error = std::string(file) + " has no entry " + entry;
    }
    return table;
}

} // namespace

Outcome PlayPreview(const CommandLine& line, const std::string& lastEngineError) {
    std::optional<LoadedModule> module;
    std::string error;
    const auto* const player =
        OpenModule<PlayModule>(kPlayModuleFile, kPlayModuleEntry, module, error);
    if (player == nullptr) {
        std::fprintf(stderr, "orvanta-cli: cannot play: %s\n", Printable(error).c_str());
        return Outcome::Failed;
    }
    return player->playPreview(line, lastEngineError);
}

std::optional<std::string> WhyFormatUnavailable(RingtoneFormat format) {
    if (format == RingtoneFormat::Mp3) {
        return std::nullopt;
    }
    std::optional<LoadedModule> module;
    std::string error;
    const auto* const encoders =
        OpenModule<GstModule>(kGstModuleFile, kGstModuleEntry, module, error);
    if (encoders == nullptr) {
        return "cannot make this format: " + error;
    }
    std::string missing = encoders->missingPlugins(format);
    return missing.empty() ? std::nullopt : std::optional(std::move(missing));
}

bool EncodeInFormat(const RingtoneEncodeRequest& request, int& cancelled) {
    if (request.format == RingtoneFormat::Mp3) {
        return EncodeMp3Ringtone(request, cancelled);
    }
    std::optional<LoadedModule> module;
    std::string error;
    const auto* const encoders =
        OpenModule<GstModule>(kGstModuleFile, kGstModuleEntry, module, error);
    if (encoders == nullptr) {
        EngineLog::Error("Cannot make this format: %s\n", error.c_str());
        // Ends the encoding phase the cut left open, as every failed encode does.
        EndEncoding();
        return false;
    }
    return encoders->encodeRingtone(request, cancelled);
}

} // namespace orvanta::cli
