#include "AppProfile.h"

#include "StringTable.h"

#include <QLocale>
#include <QRegularExpression>
#include <QSettings>

namespace AppProfile {

namespace {

QString KeyPath(const char* section, const char* key) {
    return QString::fromUtf8(section) + QLatin1Char('/') + QString::fromUtf8(key);
}

} // namespace

std::string GetString(const char* section, const char* key, const std::string& defaultValue) {
    const QSettings settings;
    return settings.value(KeyPath(section, key), QString::fromStdString(defaultValue))
        .toString()
        .toStdString();
}

void WriteString(const char* section, const char* key, const std::string& value) {
    QSettings settings;
    settings.setValue(KeyPath(section, key), QString::fromStdString(value));
}

int GetInt(const char* section, const char* key, int defaultValue) {
    const QSettings settings;
    bool ok = false;
    const int value = settings.value(KeyPath(section, key), defaultValue).toInt(&ok);
    return ok ? value : defaultValue;
}

void WriteInt(const char* section, const char* key, int value) {
    QSettings settings;
    settings.setValue(KeyPath(section, key), value);
}

std::string ActiveLanguage() {
    const std::string chosen = GetString(kUiSection, kActiveLanguageKey, "");
    if (!chosen.empty()) {
        return chosen;
    }
    std::vector<std::string> codes;
    std::vector<std::string> names;
    StringTable::Instance().GetLanguages(codes, names);
    const std::string system = FirstOfferedLanguage(QLocale::system().uiLanguages(), codes);
    return system.empty() ? kDefaultLanguage : system;
}

std::string FirstOfferedLanguage(const QStringList& preferred,
                                 const std::vector<std::string>& offered) {
    static const QRegularExpression separator(QStringLiteral("[-_.@]"));
    for (const QString& language : preferred) {
        const std::string part = language.section(separator, 0, 0).toStdString();
        for (const std::string& code : offered) {
            if (!part.empty() && StringTable::SameLanguageCode(part, code)) {
                return code;
            }
        }
    }
    return {};
}

} // namespace AppProfile
