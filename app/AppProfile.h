#pragma once

#include <QStringList>
#include <string>
#include <vector>

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

// The language chosen in the settings. Until the user has chosen one, the first of the system's
// languages (LANGUAGE, LC_ALL, LC_MESSAGES, LANG) that the loaded language file offers, else "en".
std::string ActiveLanguage();
// The code in `offered` of the first language of `preferred` ("de-AT", "de_AT" or "de", best
// first) that `offered` lists, compared by the language part ignoring case; "" when none is.
std::string FirstOfferedLanguage(const QStringList& preferred,
                                 const std::vector<std::string>& offered);

} // namespace AppProfile
