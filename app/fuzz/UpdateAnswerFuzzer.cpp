// libFuzzer target: the update server's answer and the installer-name rule. Whatever the server
// says, a name the program accepts must be its answer lower-cased, one plain file name inside
// the upgrades folder, one the program would itself give an installer, and one that keeps the
// updater's "&&"-joined argument in its four parts.

#include "FuzzCheck.h"
#include "UpdateChecker.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using orvanta::fuzz::Violation;

bool IsLowerCaseOf(const std::string& name, const std::string& answer) {
    if (name.size() != answer.size()) {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = answer[i];
        if (name[i] != (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c)) {
            return false;
        }
    }
    return true;
}

std::size_t CountOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos;
         at = text.find(part, at + part.size())) {
        ++count;
    }
    return count;
}

void CheckAccepted(const std::string& name, const std::string& answer) {
    if (!IsLowerCaseOf(name, answer)) {
        Violation("the accepted name is not the answer lower-cased");
    }
    const std::filesystem::path folder("/home/user/.local/share/orvanta/upgrades");
    if ((folder / name).parent_path() != folder || name == "." || name == "..") {
        Violation("the accepted name leaves the upgrades folder");
    }
    const std::string prefix = UpdateChecker::InstallerName("");
    const std::string suffix = prefix.substr(prefix.rfind('.'));
    const std::string version =
        name.substr(prefix.size() - suffix.size(), name.size() - prefix.size());
    if (UpdateChecker::InstallerName(version) != name) {
        Violation("the accepted name is not one the program gives an installer");
    }
    const std::string argument =
        UpdateChecker::UpdaterArgument(folder.string() + "/" + name, "/opt/orvanta/orvanta");
    if (CountOf(argument, "&&") != 3) {
        Violation("the accepted name splits the updater's argument");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string answer(reinterpret_cast<const char*>(data), size);
    const std::string name = UpdateChecker::InstallerNameFromAnswer(answer);
    if (!name.empty()) {
        CheckAccepted(name, answer);
    }
    return 0;
}
