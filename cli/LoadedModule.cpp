#include "LoadedModule.h"

#include <dlfcn.h>
#include <filesystem>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace orvanta::cli {

namespace {

// Empty when unknown: a module is never looked for in the working folder, where anyone may
// have put one.
std::string ProgramFolder() {
    std::error_code failed;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", failed);
    return failed ? std::string() : program.parent_path().string();
}

} // namespace

std::vector<std::string> ModulePlaces(const std::string& file) {
    const std::string folder = ProgramFolder();
    if (folder.empty()) {
        return {};
    }
    return {folder + "/" + file, folder + "/" + ORVANTA_CLI_MODULE_DIR + "/" + file};
}

std::optional<LoadedModule> LoadedModule::Load(const std::string& file, std::string& error) {
    std::string looked;
    for (const std::string& place : ModulePlaces(file)) {
        // Every symbol is resolved now, so a module that does not fit this program fails here,
        // not halfway through a command.
        if (void* handle = ::dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) {
            return LoadedModule(handle);
        }
        // A module that is there but cannot load says more than the places that hold none.
        if (::access(place.c_str(), F_OK) == 0) {
            error = ::dlerror();
            return std::nullopt;
        }
        looked += (looked.empty() ? "" : ", ") + place;
    }
    error = "the module " + file + " is missing (" +
            (looked.empty() ? "the program's own folder is unknown" : "looked for " + looked) + ")";
    return std::nullopt;
}

LoadedModule::LoadedModule(LoadedModule&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)) {}

LoadedModule& LoadedModule::operator=(LoadedModule&& other) noexcept {
    std::swap(m_handle, other.m_handle);
    return *this;
}

LoadedModule::~LoadedModule() {
    if (m_handle != nullptr) {
        ::dlclose(m_handle);
    }
}

void* LoadedModule::Symbol(const char* name) const {
    return ::dlsym(m_handle, name);
}

} // namespace orvanta::cli
