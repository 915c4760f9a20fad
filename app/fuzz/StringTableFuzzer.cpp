// libFuzzer target: the string table's language file, read as the program reads it at start-up
// (with German chosen, so that the English fill-in runs too), then every language and text it
// yields asked for.

#include "FuzzCheck.h"
#include "FuzzWorkspace.h"
#include "StringTable.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using orvanta::fuzz::Violation;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string path = orvanta::fuzz::WorkspaceFolder() + "/strings.xml";
    orvanta::fuzz::WriteWholeFile(path, data, size);
    StringTable& table = StringTable::Instance();
    if (table.Load(path, "de")) {
        std::vector<std::string> codes;
        std::vector<std::string> names;
        table.GetLanguages(codes, names);
        if (codes.size() != names.size()) {
            Violation("language codes and names out of step");
        }
        for (const std::string& code : codes) {
            table.Lookup(code);
        }
        table.Lookup("idd_importing");
    }
    StringTable::Release();
    return 0;
}
