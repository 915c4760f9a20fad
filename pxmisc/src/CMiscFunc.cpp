#include "pxmisc/CMiscFunc.h"

#include "ElfVersionReader.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <sys/statvfs.h>
#include <system_error>

namespace {

constexpr std::uint64_t kKilobyte = 1024;
constexpr std::uint64_t kMegabyte = kKilobyte * 1024;
constexpr std::uint64_t kGigabyte = kMegabyte * 1024;

// Three digits per group from the right, "," between groups.
std::string GroupThousands(std::uint64_t value) {
    const std::string digits = std::to_string(value);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            grouped += ',';
        }
        grouped += digits[i];
    }
    return grouped;
}

// Two-digit zero-filled field, as "%.2d" prints a non-negative number.
std::string TwoDigits(long long value) {
    std::string text = std::to_string(value);
    if (text.size() < 2) {
        text.insert(0, 2 - text.size(), '0');
    }
    return text;
}

} // namespace

CMiscFunc::~CMiscFunc() = default;

std::string CMiscFunc::GetPrettyTimeString(int milliseconds) {
    // Integer division truncates toward zero, as the division in seconds did. Working on the
    // magnitude keeps a negative time from printing as "00:-01"; long long holds -INT_MIN.
    const long long magnitudeMs = milliseconds < 0 ? -static_cast<long long>(milliseconds)
                                                   : static_cast<long long>(milliseconds);
    const long long seconds = magnitudeMs / 1000;
    const long long minutes = seconds / 60;
    const long long hours = minutes / 60;

    std::string text = milliseconds <= -1000 ? "-" : "";
    if (hours > 0) {
        text += std::to_string(hours) + ":";
    }
    text += TwoDigits(minutes % 60) + ":" + TwoDigits(seconds % 60);
    return text;
}

std::string CMiscFunc::GetAppVersion(const char* filePath, const char* key) {
    if (filePath == nullptr || key == nullptr) {
        return {};
    }
    const std::optional<std::string> block = ElfVersionReader::ReadBlock(filePath);
    if (!block) {
        return {};
    }
    return ElfVersionReader::FindValue(*block, key);
}

void CMiscFunc::SortStringArray(std::vector<std::string>& array, bool descending) {
    // std::string compares through char_traits<char>, which orders bytes as unsigned values, so
    // bytes from 0x80 up (UTF-8 lead and continuation bytes) sort after ASCII.
    if (descending) {
        std::sort(array.begin(), array.end(), std::greater<>());
    } else {
        std::sort(array.begin(), array.end());
    }
}

std::string CMiscFunc::GetFormatedFileSize(std::uint64_t bytes) {
    // (bytes + 512) / 1024 without the sum, which could wrap for the largest sizes.
    const std::uint64_t kilobytes =
        bytes / kKilobyte + (bytes % kKilobyte >= kKilobyte / 2 ? 1 : 0);
    return GroupThousands(kilobytes) + " KB";
}

std::string CMiscFunc::GetPrettyFileSize(std::uint64_t bytes, int decimals) {
    const int digits = std::clamp(decimals, 0, 20);
    const auto format = [bytes, digits](std::uint64_t unit, const char* unitName) {
        const double value = static_cast<double>(bytes) / static_cast<double>(unit);
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.*f%s", digits, value, unitName);
        return std::string(buffer);
    };
    if (bytes >= kGigabyte) {
        return format(kGigabyte, "GB");
    }
    if (bytes >= kMegabyte) {
        return format(kMegabyte, "MB");
    }
    if (bytes >= kKilobyte) {
        return format(kKilobyte, "KB");
    }
    return std::to_string(bytes);
}

std::string CMiscFunc::GetExePathName() {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

std::string CMiscFunc::GetExePath() {
    const std::string pathName = GetExePathName();
    const std::size_t slash = pathName.rfind('/');
    return slash == std::string::npos ? std::string() : pathName.substr(0, slash + 1);
}

std::string CMiscFunc::GetUserPath(const std::string& text) {
    return GetExePath() + text;
}

std::string CMiscFunc::GetUserFile(const std::string& folder, const std::string& file) {
    std::string path = GetExePath() + folder;
    if (!folder.ends_with('/')) {
        path += '/';
    }
    return path + file;
}

int CMiscFunc::String2Int(const std::string& text) {
    std::size_t position = 0;
    while (position < text.size() && std::isspace(static_cast<unsigned char>(text[position]))) {
        ++position;
    }
    bool negative = false;
    if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
        negative = text[position] == '-';
        ++position;
    }
    // Accumulated as a negative number, whose range reaches INT_MIN.
    long long value = 0;
    for (; position < text.size() && text[position] >= '0' && text[position] <= '9'; ++position) {
        value = std::max(value * 10 - (text[position] - '0'), static_cast<long long>(INT_MIN) - 1);
    }
    if (!negative) {
        value = -value;
    }
    return static_cast<int>(
        std::clamp(value, static_cast<long long>(INT_MIN), static_cast<long long>(INT_MAX)));
}

std::string CMiscFunc::Int2String(int number) {
    char buffer[16]; // "-2147483648" and its NUL
    std::snprintf(buffer, sizeof buffer, "%d", number);
    return buffer;
}

bool CMiscFunc::GetFreeDiskSpace(const std::string& path, std::string& text) {
    struct statvfs volume {};
    if (::statvfs(path.c_str(), &volume) != 0) {
        return false;
    }
    // f_bavail counts blocks left to unprivileged users, in units of f_frsize. A product past
    // 64 bits would need a volume of 16 EiB; it is held at the largest value rather than wrapped.
    const std::uint64_t blocks = volume.f_bavail;
    const std::uint64_t blockBytes = volume.f_frsize;
    const std::uint64_t bytes =
        blockBytes != 0 && blocks > UINT64_MAX / blockBytes ? UINT64_MAX : blocks * blockBytes;
    text = "Free Space: " + std::to_string(bytes / kMegabyte) + " MB";
    return true;
}

bool CMiscFunc::AssociateFile(const std::string& /*extension*/, const std::string& /*typeName*/,
                              const std::string& /*description*/, const std::string& /*iconPath*/,
                              const std::string& /*openCommand*/) {
    return true;
}

bool CMiscFunc::IsDependentFileNew(const std::string& first, const std::string& second) {
    std::error_code error;
    const auto firstTime = std::filesystem::last_write_time(first, error);
    if (error) {
        return false;
    }
    const auto secondTime = std::filesystem::last_write_time(second, error);
    if (error) {
        return false;
    }
    return secondTime > firstTime;
}
