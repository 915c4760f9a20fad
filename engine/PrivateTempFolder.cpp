#include "PrivateTempFolder.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace orvanta {

PrivateTempFolder::PrivateTempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/orvanta-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) {
        m_path = pattern + "/";
    }
}

PrivateTempFolder::~PrivateTempFolder() {
    if (!m_path.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
}

} // namespace orvanta
