#include "AppProfile.h"

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
    return GetString(kUiSection, kActiveLanguageKey, kDefaultLanguage);
}

} // namespace AppProfile
