#pragma once

#include "pxmisc/CXml.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

// The texts of the language chosen at start-up, read from the language file beside the program.
// One table per process; every window asks it for its captions and messages by identifier.
class StringTable {
public:
    // The process-wide table, created empty on first use.
    static StringTable& Instance();
    // Destroys the process-wide table; a later Instance() starts a new, empty one.
    static void Release();

    // Reads the file and keeps the texts of `languageCode` (compared ignoring ASCII case),
    // filling every text that language lacks or leaves empty from English. False when the file
    // cannot be opened or parsed; what was stored before stays.
    bool Load(const std::string& path, const std::string& languageCode);
    // The text of `identifier` (case-sensitive); "" when the file does not define it.
    std::string Lookup(const std::string& identifier);
    // Appends every language code the file offers, in byte order, and its display name at the
    // same position.
    void GetLanguages(std::vector<std::string>& codes, std::vector<std::string>& names) const;

    // Language codes match ignoring ASCII case, whatever the process locale.
    static bool SameLanguageCode(const std::string& left, const std::string& right);

private:
    StringTable() = default;

    Domvine::CXml m_document;
    std::map<std::string, std::string> m_texts;
    std::map<std::string, std::string> m_languages;

    static std::unique_ptr<StringTable> s_instance;
};
