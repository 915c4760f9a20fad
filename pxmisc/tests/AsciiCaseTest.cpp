// Names, masks, found paths and arguments fold case as ASCII, whatever the process locale. Run
// under Turkish, where the C library's toupper leaves "i" alone and tolower leaves "I".
#include "pxmisc/CFileFinder.h"
#include "pxmisc/CPath.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <clocale>
#include <cstdlib>
#include <ctype.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <locale.h>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr const char* kTurkish = "tr_TR.UTF-8";

struct LocaleFree {
    void operator()(locale_t locale) const { freelocale(locale); }
};
using LocalePtr = std::unique_ptr<std::remove_pointer_t<locale_t>, LocaleFree>;

// The Turkish character classes as a locale object, copied from the process locale while that
// is briefly Turkish: newlocale() would leak the search path it builds from LOCPATH.
LocalePtr CaptureTurkish() {
    const std::string saved = std::setlocale(LC_CTYPE, nullptr);
    if (std::setlocale(LC_CTYPE, kTurkish) == nullptr) {
        return nullptr;
    }
    LocalePtr turkish(duplocale(LC_GLOBAL_LOCALE));
    std::setlocale(LC_CTYPE, saved.c_str());
    return turkish;
}

// Compiles the Turkish locale from the system's locale sources (Debian package "locales") into
// a private folder, for a machine where it was never generated.
LocalePtr MakeTurkish(const QTemporaryDir& folder) {
    const QString localedef = QStandardPaths::findExecutable(QStringLiteral("localedef"));
    if (localedef.isEmpty() || !folder.isValid()) {
        return nullptr;
    }
    // Warnings give a non-zero status with a usable locale, so only the result counts.
    QProcess::execute(localedef,
                      {QStringLiteral("-i"), QStringLiteral("tr_TR"), QStringLiteral("-f"),
                       QStringLiteral("UTF-8"), folder.filePath(QString::fromLatin1(kTurkish))});
    const QByteArray saved = qgetenv("LOCPATH");
    qputenv("LOCPATH", QFile::encodeName(folder.path()));
    LocalePtr made = CaptureTurkish();
    if (saved.isNull()) {
        qunsetenv("LOCPATH");
    } else {
        qputenv("LOCPATH", saved);
    }
    return made;
}

// The installed Turkish locale, else one made for this run; null when neither is possible.
locale_t TurkishLocale() {
    static const QTemporaryDir folder;
    static const LocalePtr locale = [] {
        LocalePtr installed = CaptureTurkish();
        return installed ? std::move(installed) : MakeTurkish(folder);
    }();
    return locale.get();
}

class AsciiCaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        const locale_t turkish = TurkishLocale();
        if (turkish == nullptr) {
            GTEST_SKIP() << kTurkish << " is not installed and cannot be made "
                         << "(localedef and the Debian package locales are needed)";
        }
        // Without this the tests would prove nothing.
        ASSERT_EQ(toupper_l('i', turkish), 'i');
        ASSERT_EQ(tolower_l('I', turkish), 'I');
        m_previous = uselocale(turkish);

        std::string pattern = (fs::temp_directory_path() / "ascii-case-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_root = pattern + "/";
    }
    void TearDown() override {
        if (m_previous != nullptr) {
            uselocale(m_previous);
        }
        std::error_code error;
        fs::remove_all(m_root, error);
    }

    std::string Make(const std::string& name, const std::string& content = "x") {
        std::ofstream(m_root + name, std::ios::binary) << content;
        return m_root + name;
    }

    locale_t m_previous = nullptr;
    std::string m_root;
};

TEST_F(AsciiCaseTest, MasksMatchNamesInEitherCase) {
    struct Row {
        const char* mask;
        std::vector<std::string> found;
    };
    const Row rows[] = {
        {"*.ini", {"LIMIT.INI", "mixed.Ini", "setup.ini"}},
        {"*.INI", {"LIMIT.INI", "mixed.Ini", "setup.ini"}},
        {"limit*", {"LIMIT.INI"}},
        {"S?TUP.INI", {"setup.ini"}},
        // Folding stays within ASCII: a dotless "ı" (U+0131) is no "i".
        {"*.\xC4\xB1ni", {}},
    };
    Make("LIMIT.INI");
    Make("mixed.Ini");
    Make("setup.ini");
    Make("readme.txt");
    for (const Row& row : rows) {
        CFileFinder finder;
        CFileFinder::CFindOpts options;
        options.baseFolder = m_root;
        options.fileMask = row.mask;
        finder.Find(options);
        std::vector<std::string> found;
        for (int i = 0; i < finder.GetFileCount(); ++i) {
            found.push_back(fs::path(finder.GetFilePath(i).GetPath()).filename().string());
        }
        EXPECT_EQ(found, row.found) << row.mask;
    }
}

TEST_F(AsciiCaseTest, FoundPathsAndTextMatchInEitherCase) {
    const std::string path = Make("Install.Txt", "Run the Firmware Image installer");
    CFileFinder finder;
    ASSERT_EQ(finder.FindFiles(m_root, "*.txt"), 1);
    EXPECT_EQ(finder.FindPathItem(m_root + "INSTALL.TXT"), 0);
    EXPECT_EQ(finder.FindPathItem(m_root + "install.txt"), 0);
    EXPECT_TRUE(finder.FindTextInFile(path.c_str(), "FIRMWARE IMAGE"));
    EXPECT_TRUE(finder.FindTextInFile(path.c_str(), "firmware image installer"));
    EXPECT_FALSE(finder.FindTextInFile(path.c_str(), "f\xC4\xB1rmware"));
}

TEST_F(AsciiCaseTest, ArgumentsMatchInEitherCase) {
    CPath path("/usr/bin/tool -install /I --Quiet", false, true);
    EXPECT_EQ(path.FindArgument("-INSTALL"), 0);
    EXPECT_EQ(path.FindArgument("/i"), 1);
    EXPECT_EQ(path.FindArgument("--quiet"), 2);
    EXPECT_EQ(path.AddSetArgument("/i"), 1);
    EXPECT_EQ(path.GetArgCount(), 3);
}

} // namespace
