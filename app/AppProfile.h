#pragma once

#include <string>

// The user's settings of this program: a QSettings store named after the product, with the
// sections and keys the program has always used.
namespace AppProfile {

constexpr const char* kUiSection = "ui";
constexpr const char* kActiveLanguageKey = "active_language";
constexpr const char* kDefaultLanguage = "en";
constexpr const char* kSettingsSection = "Settings";
constexpr const char* kXKey = "X";
constexpr const char* kYKey = "Y";

std::string GetString(const char* section, const char* key, const std::string& defaultValue);
void WriteString(const char* section, const char* key, const std::string& value);
int GetInt(const char* section, const char* key, int defaultValue);
void WriteInt(const char* section, const char* key, int value);

// The language chosen in the settings, "en" when none was.
std::string ActiveLanguage();

} // namespace AppProfile
