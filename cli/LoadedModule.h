#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvanta::cli {

// Where a module of the tool may be, in the order looked at: beside the program (the build
// tree), then the library folder the install puts modules in, relative to the program's.
std::vector<std::string> ModulePlaces(const std::string& file);

// A module opened with dlopen, closed again by its owner. It stays mapped after the close:
// Qt and GStreamer keep threads and registered types that outlive the call into them.
class LoadedModule {
public:
    // The first of ModulePlaces that loads; nullopt with `error` set to why none did.
    static std::optional<LoadedModule> Load(const std::string& file, std::string& error);

    LoadedModule(LoadedModule&& other) noexcept;
    LoadedModule& operator=(LoadedModule&& other) noexcept;
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;
    ~LoadedModule();

    // The module's table behind its entry function, or nullptr when it has no such entry.
    template <typename Table> const Table* Entries(const char* entry) const {
        using EntryFunction = const Table* (*)();
        void* const found = Symbol(entry);
        return found == nullptr ? nullptr : reinterpret_cast<EntryFunction>(found)();
    }

private:
    explicit LoadedModule(void* handle) : m_handle(handle) {}
    void* Symbol(const char* name) const;

    void* m_handle;
};

} // namespace orvanta::cli
