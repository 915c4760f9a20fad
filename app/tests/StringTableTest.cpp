#include "StringTable.h"

#include "UiTestSupport.h"
#include "pxmisc/CXml.h"

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// Every identifier the program looks up.
const std::vector<std::string> kIdentifiers = {
    "idd_production_local_name",
    "idd_importing",
    "idd_editing",
    "idd_saving",
    "idc_help",
    "idc_page_home",
    "idc_page_feedback",
    "idc_about",
    "idc_anguage",
    "idd_restart_for_language_changing",
    "idd_confirm_exit",
    "idd_new_version_availabled",
    "ide_updater_not_started",
    "idd_processing",
    "idc_cancel",
    "idd_loading_source_file",
    "idd_making_waveform",
    "idd_splitting_file",
    "idd_encoding_mp3",
    "idd_importing_description",
    "idc_load_file",
    "idc_browse",
    "ide_must_select_song",
    "ide_failed_decoding",
    "ide_internal_engine_failed",
    "idd_editing_description",
    "idd_select_source_file",
    "idd_generate_ringtone_file",
    "ide_failed_load_media",
    "idc_play",
    "idc_stop",
    "idc_zoom",
    "idc_zoom_in",
    "idc_zoom_out",
    "idc_zoom_fit",
    "idd_fade_in",
    "idd_fade_out",
    "idd_stereo",
    "idd_quality",
    "idd_quality_low",
    "idd_quality_medium",
    "idd_quality_high",
    "idd_amplify",
    "idd_normalize_loudness",
    "idd_loudness_meter",
    "idd_loudness_unmeasurable",
    "idd_loudness_measuring",
    "idd_clip_warning",
    "idd_predicted_size",
    "idd_saving_description",
    "idd_new_ringtone",
    "idc_open_folder",
    "ide_selection_too_short",
    "idd_confirm_replace_ringtone",
    "idd_choose_ringtone_place",
    "ide_cannot_open_on_desktop",
    "idd_selection_start",
    "idd_selection_end",
    "idd_selection_length",
    "idd_selection_time_format",
    "idd_selection_not_a_time",
    "idd_selection_order",
    "idd_selection_empty",
    "idd_selection_long",
    "idd_selection_short",
    "idd_snap_zero_crossings",
    "idd_loop",
    "idc_zoom_selection",
    "idd_wave_keys",
    "idd_waveform",
    "idd_waveform_position",
    "idd_format",
    "idd_format_mp3",
    "idd_format_m4r",
    "idd_format_ogg",
    "ide_format_missing_plugin",
    "ide_m4r_too_long",
    "idd_saving_description_format",
    "idd_saving_advice_m4r",
    "idd_saving_advice_ogg",
    "idd_open_replaces_job",
    "idd_all_supported_files",
};

const std::vector<std::string> kShippedLanguages = {"de", "en", "fr"};

std::string LanguageFile(const std::string& entries) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<strings>" + entries + "</strings>\n";
}

std::string Lookup(const std::string& identifier) {
    return StringTable::Instance().Lookup(identifier);
}

struct Languages {
    std::vector<std::string> codes;
    std::vector<std::string> names;
};

Languages ListLanguages() {
    Languages languages;
    StringTable::Instance().GetLanguages(languages.codes, languages.names);
    return languages;
}

std::string WriteFile(const QTemporaryDir& folder, const char* name, const std::string& content) {
    const QString path = folder.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content.data(), static_cast<qint64>(content.size()));
    return path.toStdString();
}

std::size_t CharacterCount(const std::string& utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char byte) {
        return (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
    }));
}

class StringTableTest : public ::testing::Test {
protected:
    void TearDown() override { StringTable::Release(); }
};

struct ChoiceCase {
    const char* what;
    const char* entries;
    const char* language;
    const char* identifier;
    const char* expected;
};

const ChoiceCase kChoiceCases[] = {
    {"only English, another language chosen",
     R"(<string strid="a"><text code="en" lang="English">Hello</text></string>)", "de", "a",
     "Hello"},
    {"only English, a code no translation carries",
     R"(<string strid="a"><text code="en" lang="English">Hello</text></string>)", "xx", "a",
     "Hello"},
    {"the chosen translation wins, wherever it stands",
     R"(<string strid="a"><text code="de" lang="Deutsch">Hallo</text>)"
     R"(<text code="en" lang="English">Hello</text></string>)",
     "de", "a", "Hallo"},
    {"an empty chosen translation falls back to English",
     R"(<string strid="a"><text code="en" lang="English">Hello</text>)"
     R"(<text code="de" lang="Deutsch"></text></string>)",
     "de", "a", "Hello"},
    {"a later chosen translation replaces an earlier one",
     R"(<string strid="a"><text code="en" lang="English">Hello</text>)"
     R"(<text code="de" lang="Deutsch">Eins</text><text code="de" lang="Deutsch">Zwei</text>)"
     R"(</string>)",
     "de", "a", "Zwei"},
    {"the first non-empty English text fills in",
     R"(<string strid="a"><text code="en" lang="English"></text>)"
     R"(<text code="en" lang="English">First</text><text code="en" lang="English">Second</text>)"
     R"(</string>)",
     "fr", "a", "First"},
    {"EN in the profile selects en",
     R"(<string strid="a"><text code="de" lang="Deutsch">Hallo</text>)"
     R"(<text code="en" lang="English">Hello</text></string>)",
     "EN", "a", "Hello"},
    {"a capitalised code in the file is chosen by its lower-case name",
     R"(<string strid="a"><text code="en" lang="English">Hello</text>)"
     R"(<text code="DE" lang="Deutsch">Hallo</text></string>)",
     "de", "a", "Hallo"},
    {"a capitalised English code still fills in",
     R"(<string strid="a"><text code="En" lang="English">Hello</text></string>)", "fr", "a",
     "Hello"},
    {"identifiers are case-sensitive",
     R"(<string strid="idd_confirm_exit"><text code="en" lang="English">Quit?</text></string>)",
     "en", "IDD_CONFIRM_EXIT", ""},
    {"an identifier the file lacks",
     R"(<string strid="a"><text code="en" lang="English">Hello</text></string>)", "en",
     "idd_missing", ""},
    {"a missing strid stores under the empty identifier",
     R"(<string><text code="en" lang="English">Nameless</text></string>)", "en", "", "Nameless"},
    {"a missing code reads as the empty code",
     R"(<string strid="a"><text lang="Nobody">Codeless</text></string>)", "", "a", "Codeless"},
    {"a missing code is neither English nor the chosen language",
     R"(<string strid="a"><text lang="Nobody">Codeless</text></string>)", "de", "a", ""},
    {"nested elements contribute their text",
     R"(<string strid="a"><text code="en" lang="English">Click <b>Next</b> <i>now</i></text>)"
     R"(</string>)",
     "en", "a", "Click Next now"},
    {"entities arrive decoded and percent signs as they stand",
     R"(<string strid="a"><text code="en" lang="English">&lt;100% &amp; more&gt;</text>)"
     R"(</string>)",
     "en", "a", "<100% & more>"},
};

TEST_F(StringTableTest, ChoosesTheTextOfTheRequestedLanguageWithEnglishFallback) {
    for (const ChoiceCase& row : kChoiceCases) {
        SCOPED_TRACE(row.what);
        ScopedStringTable table(LanguageFile(row.entries), row.language);
        ASSERT_TRUE(table.loaded());
        EXPECT_EQ(Lookup(row.identifier), row.expected);
    }
}

struct LanguageListCase {
    const char* what;
    const char* entries;
    std::vector<std::string> codes;
    std::vector<std::string> names;
};

const LanguageListCase kLanguageListCases[] = {
    {"sorted by code whatever the file order",
     R"(<string strid="a"><text code="fr" lang="Français">x</text>)"
     R"(<text code="en" lang="English">x</text><text code="de" lang="Deutsch">x</text></string>)",
     {"de", "en", "fr"},
     {"Deutsch", "English", "Français"}},
    {"every entry carries the codes; each is listed once",
     R"(<string strid="a"><text code="en" lang="English">x</text>)"
     R"(<text code="de" lang="Deutsch">x</text></string>)"
     R"(<string strid="b"><text code="de" lang="Deutsch">y</text>)"
     R"(<text code="en" lang="English">y</text></string>)",
     {"de", "en"},
     {"Deutsch", "English"}},
    {"codes differing in case are two languages, upper case first",
     R"(<string strid="a"><text code="en" lang="English">x</text>)"
     R"(<text code="EN" lang="ENGLISH">x</text><text code="de" lang="Deutsch">x</text></string>)",
     {"EN", "de", "en"},
     {"ENGLISH", "Deutsch", "English"}},
    {"a later lang for the same code replaces the name",
     R"(<string strid="a"><text code="de" lang="Deutsch">x</text></string>)"
     R"(<string strid="b"><text code="de" lang="German">y</text></string>)",
     {"de"},
     {"German"}},
    {"missing code and lang attributes are listed as empty",
     R"(<string strid="a"><text code="en">x</text><text lang="Nobody">y</text></string>)",
     {"", "en"},
     {"Nobody", ""}},
};

TEST_F(StringTableTest, ListsEachLanguageOnceInByteOrderOfItsCode) {
    for (const LanguageListCase& row : kLanguageListCases) {
        SCOPED_TRACE(row.what);
        ScopedStringTable table(LanguageFile(row.entries), "en");
        ASSERT_TRUE(table.loaded());
        const Languages languages = ListLanguages();
        EXPECT_EQ(languages.codes, row.codes);
        EXPECT_EQ(languages.names, row.names);
    }
}

TEST_F(StringTableTest, GetLanguagesAppendsToWhatTheListsHold) {
    ScopedStringTable table(
        LanguageFile(R"(<string strid="a"><text code="en" lang="English">x</text></string>)"),
        "en");
    ASSERT_TRUE(table.loaded());
    std::vector<std::string> codes = {"zz"};
    std::vector<std::string> names = {"Earlier"};
    StringTable::Instance().GetLanguages(codes, names);
    EXPECT_EQ(codes, (std::vector<std::string>{"zz", "en"}));
    EXPECT_EQ(names, (std::vector<std::string>{"Earlier", "English"}));
}

TEST_F(StringTableTest, UnreadableFilesFailAndStoreNothing) {
    const struct {
        const char* what;
        const char* content;
    } cases[] = {
        {"empty file", ""},
        {"not XML", "Hello, world"},
        {"document element never closed",
         R"(<strings><string strid="a"><text code="en" lang="English">Hello</text></string>)"},
        {"mismatched end tag",
         R"(<strings><string strid="a"><text code="en" lang="English">Hello</string></strings>)"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        ScopedStringTable table(row.content, "en");
        EXPECT_FALSE(table.loaded());
        EXPECT_EQ(Lookup("a"), "");
        EXPECT_TRUE(ListLanguages().codes.empty());
    }
}

TEST_F(StringTableTest, MissingFileFails) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    StringTable::Release();
    EXPECT_FALSE(StringTable::Instance().Load(folder.filePath("strings.xml").toStdString(), "en"));
    EXPECT_EQ(Lookup("idd_confirm_exit"), "");
    EXPECT_TRUE(ListLanguages().codes.empty());
}

TEST_F(StringTableTest, FailedSecondLoadKeepsTheStoredTexts) {
    ScopedStringTable table(
        LanguageFile(R"(<string strid="a"><text code="en" lang="English">Hello</text>)"
                     R"(<text code="de" lang="Deutsch">Hallo</text></string>)"),
        "de");
    ASSERT_TRUE(table.loaded());
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::string broken =
        WriteFile(folder, "broken.xml",
                  R"(<strings><string strid="a"><text code="fr" lang="Français">Bonjour</text>)");
    const std::string absent = folder.filePath("absent.xml").toStdString();
    for (const std::string& path : {broken, absent}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(StringTable::Instance().Load(path, "fr"));
        EXPECT_EQ(Lookup("a"), "Hallo");
        EXPECT_EQ(ListLanguages().codes, (std::vector<std::string>{"de", "en"}));
    }
}

TEST_F(StringTableTest, ReleaseLeavesAnEmptyTableForTheNextInstance) {
    ScopedStringTable table(
        LanguageFile(R"(<string strid="a"><text code="en" lang="English">Hello</text></string>)"),
        "en");
    ASSERT_TRUE(table.loaded());
    ASSERT_EQ(Lookup("a"), "Hello");
    StringTable::Release();
    EXPECT_EQ(Lookup("a"), "");
    EXPECT_TRUE(ListLanguages().codes.empty());
}

// The shipped language file.

std::map<std::string, std::string> ShippedTexts(const std::string& language) {
    ScopedStringTable table(language);
    EXPECT_TRUE(table.loaded()) << language;
    std::map<std::string, std::string> texts;
    for (const std::string& identifier : kIdentifiers) {
        texts[identifier] = Lookup(identifier);
    }
    return texts;
}

bool IsBlank(unsigned char byte) {
    return byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n' || byte == 0xA0;
}

TEST_F(StringTableTest, ShippedFileHasEveryTextInEveryLanguage) {
    for (const std::string& language : kShippedLanguages) {
        for (const auto& [identifier, text] : ShippedTexts(language)) {
            SCOPED_TRACE(language + " " + identifier);
            ASSERT_FALSE(text.empty());
            EXPECT_EQ(text.find('%'), std::string::npos);
            EXPECT_FALSE(IsBlank(static_cast<unsigned char>(text.front())));
            EXPECT_FALSE(IsBlank(static_cast<unsigned char>(text.back())));
        }
    }
}

TEST_F(StringTableTest, ShippedFileDefinesExactlyTheProgramsIdentifiersOncePerLanguage) {
    Domvine::CXml document;
    ASSERT_TRUE(document.Open(ORVANTA_STRINGS_XML));
    const std::unique_ptr<Domvine::CXmlNode> root = document.GetRoot();
    ASSERT_TRUE(root && !root->IsNull());
    const std::unique_ptr<Domvine::CXmlNodes> entries = root->GetChildren();
    ASSERT_TRUE(entries);
    std::multiset<std::string> identifiers;
    for (long index = 0; index < entries->GetCount(); ++index) {
        const Domvine::CXmlNode entry = (*entries)[index];
        const std::string identifier = entry.GetAttribute("strid");
        identifiers.insert(identifier);
        const std::unique_ptr<Domvine::CXmlNodes> translations = entry.GetChildren();
        ASSERT_TRUE(translations);
        std::vector<std::string> codes;
        for (long item = 0; item < translations->GetCount(); ++item) {
            codes.push_back(Domvine::CXmlNode((*translations)[item]).GetAttribute("code"));
        }
        std::sort(codes.begin(), codes.end());
        EXPECT_EQ(codes, kShippedLanguages) << identifier;
    }
    EXPECT_EQ(identifiers, std::multiset<std::string>(kIdentifiers.begin(), kIdentifiers.end()));
}

TEST_F(StringTableTest, ShippedFileOffersGermanEnglishAndFrench) {
    ScopedStringTable table("en");
    ASSERT_TRUE(table.loaded());
    const Languages languages = ListLanguages();
    EXPECT_EQ(languages.codes, kShippedLanguages);
    EXPECT_EQ(languages.names, (std::vector<std::string>{"Deutsch", "English", "Français"}));
}

TEST_F(StringTableTest, ShippedEnglishDescriptionsStartWithThePageCaptions) {
    const std::map<std::string, std::string> texts = ShippedTexts("en");
    EXPECT_EQ(texts.at("idd_importing_description").rfind("Step1: Choose a media file", 0), 0u);
    EXPECT_EQ(texts.at("idd_editing_description").rfind("Step 2: Select music period", 0), 0u);
}

TEST_F(StringTableTest, ShippedWizardButtonTextsFitBesideTheArrow) {
    const std::vector<std::string> buttons = {"idc_load_file", "idd_select_source_file",
                                              "idd_generate_ringtone_file", "idd_new_ringtone",
                                              "idd_editing"};
    for (const std::string& language : kShippedLanguages) {
        const std::map<std::string, std::string> texts = ShippedTexts(language);
        for (const std::string& identifier : buttons) {
            SCOPED_TRACE(language + " " + identifier);
            EXPECT_LE(CharacterCount(texts.at(identifier)), 22u);
        }
    }
}

TEST_F(StringTableTest, ShippedTranslationsDifferFromEnglish) {
    const std::vector<std::string> translated = {
        "idd_importing",        "idd_editing",         "idd_saving",
        "ide_must_select_song", "ide_failed_decoding", "ide_internal_engine_failed",
        "ide_failed_load_media"};
    const std::map<std::string, std::string> english = ShippedTexts("en");
    for (const char* language : {"de", "fr"}) {
        const std::map<std::string, std::string> texts = ShippedTexts(language);
        for (const std::string& identifier : translated) {
            SCOPED_TRACE(std::string(language) + " " + identifier);
            EXPECT_NE(texts.at(identifier), english.at(identifier));
        }
    }
}

} // namespace
