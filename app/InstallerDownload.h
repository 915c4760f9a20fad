#pragma once

#include <cstdint>
#include <string>

// Bounds on one installer download, so that the update thread always ends.
struct DownloadLimits {
    long connectTimeoutMs = 10'000;
    long totalTimeoutMs = 600'000;
    std::uint64_t maxBytes = std::uint64_t{512} * 1024 * 1024;
};

// Fetches an installer from the update server into a file.
class InstallerDownload {
public:
    // Writes the body at `url` to a new file at `path` (mode 600), which must not exist: an
    // entry there, a link included, fails the download untouched. True only for an HTTP 200
    // answer whose body arrived whole (as long as its Content-Length said, when it said one)
    // within `limits`; on false nothing this call made is left at `path`. Only http and https
    // are followed, and no redirections.
    static bool Fetch(const std::string& url, const std::string& path,
                      const DownloadLimits& limits);
};
