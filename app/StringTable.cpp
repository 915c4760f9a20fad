#include "StringTable.h"

#include "pxmisc/CXmlNodes.h"

#include <algorithm>

std::unique_ptr<StringTable> StringTable::s_instance;

namespace {

// One string entry: every translation names its language; the chosen language's text wins,
// and English fills in whatever the chosen language lacks or leaves empty.
void ReadEntry(Domvine::CXmlNode& entry, const std::string& languageCode,
               std::map<std::string, std::string>& texts,
               std::map<std::string, std::string>& languages) {
    const std::string identifier = entry.GetAttribute("strid");
    const std::unique_ptr<Domvine::CXmlNodes> translations = entry.GetChildren();
    if (!translations) {
        return;
    }
    const long count = translations->GetCount();
    for (long index = 0; index < count; ++index) {
        Domvine::CXmlNode translation = (*translations)[index];
        const std::string code = translation.GetAttribute("code");
        languages[code] = translation.GetAttribute("lang");
        if (StringTable::SameLanguageCode(code, languageCode)) {
            texts[identifier] = translation.GetValue();
        }
    }
    for (long index = 0; index < count; ++index) {
        Domvine::CXmlNode translation = (*translations)[index];
        if (StringTable::SameLanguageCode(translation.GetAttribute("code"), "en")) {
            std::string& text = texts[identifier];
            if (text.empty()) {
                text = translation.GetValue();
            }
        }
    }
}

} // namespace

StringTable& StringTable::Instance() {
    if (!s_instance) {
        s_instance.reset(new StringTable);
    }
    return *s_instance;
}

void StringTable::Release() {
    s_instance.reset();
}

bool StringTable::Load(const std::string& path, const std::string& languageCode) {
    if (!m_document.Open(path.c_str())) {
        return false;
    }
    const std::unique_ptr<Domvine::CXmlNode> root = m_document.GetRoot();
    if (!root || root->IsNull()) {
        return false;
    }
    const std::unique_ptr<Domvine::CXmlNodes> entries = root->GetChildren();
    if (!entries) {
        return false;
    }
    for (long index = 0; index < entries->GetCount(); ++index) {
        Domvine::CXmlNode entry = (*entries)[index];
        ReadEntry(entry, languageCode, m_texts, m_languages);
    }
    return true;
}

bool StringTable::SameLanguageCode(const std::string& left, const std::string& right) {
    const auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    return std::equal(left.begin(), left.end(), right.begin(), right.end(),
                      [&](char a, char b) { return lower(a) == lower(b); });
}

std::string StringTable::Lookup(const std::string& identifier) {
    const auto found = m_texts.find(identifier);
    return found == m_texts.end() ? std::string() : found->second;
}

void StringTable::GetLanguages(std::vector<std::string>& codes,
                               std::vector<std::string>& names) const {
    for (const auto& [code, name] : m_languages) {
        codes.push_back(code);
        names.push_back(name);
    }
}
