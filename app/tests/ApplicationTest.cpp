#include "Application.h"

#include "AppProfile.h"
#include "MainWizardWindow.h"
#include "StringTable.h"
#include "UiTestSupport.h"
#include "WizardPage.h"
#include "pxmisc/CMiscFunc.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <tuple>
#include <utility>
#include <vector>

namespace {

bool WriteFile(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::WriteOnly) && file.write("<strings/>") > 0;
}

const char* const kLanguageFileError = "An error occurs when opening language file. Re-install "
                                       "the ringtone program usually fixes this problem.";

class ApplicationStartTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearSettings();
        StringTable::Release();
        ASSERT_TRUE(m_folder.isValid());
    }
    void TearDown() override {
        StringTable::Release();
        ClearSettings();
    }

    std::string Folder() const { return m_folder.path().toStdString() + "/"; }

    QTemporaryDir m_folder;
};

TEST_F(ApplicationStartTest, WithoutALanguageFileTheUserIsToldOnceInEnglishAndTextsStayEmpty) {
    MessageRecorder messages;
    EXPECT_FALSE(Application::LoadLanguage(Folder()));
    // The wizard still comes up, with empty texts.
    const MainWizardWindow window(WizardPages{std::make_unique<WizardPage>(),
                                              std::make_unique<WizardPage>(),
                                              std::make_unique<WizardPage>()});
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, kLanguageFileError);
    EXPECT_EQ(messages.shown()[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(StringTable::Instance().Lookup("idd_production_local_name"), "");
    EXPECT_TRUE(window.windowTitle().isEmpty());
    EXPECT_TRUE(window.HelpMenu()->title().isEmpty());
}

TEST_F(ApplicationStartTest, TheLanguageFileIsFoundBesideTheProgramOrInTheInstalledDataFolder) {
    const std::string beside = Folder() + "bin/strings.xml";
    const std::string installed = Folder() + "bin/../share/orvanta/strings.xml";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(Folder() + "share/orvanta/strings.xml")));
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(Folder() + "bin")));
    // A folder of that name is no language file.
    EXPECT_EQ(Application::LanguageFilePath(Folder() + "bin/"), beside);
    ASSERT_TRUE(QDir().rmdir(QString::fromStdString(Folder() + "share/orvanta/strings.xml")));
    // Files present (beside, installed), the path expected.
    for (const auto& [besideFile, installedFile, expected] :
         std::vector<std::tuple<bool, bool, std::string>>{
             {false, true, installed}, {true, true, beside}, {true, false, beside}}) {
        QFile::remove(QString::fromStdString(beside));
        QFile::remove(QString::fromStdString(installed));
        ASSERT_TRUE(!besideFile || WriteFile(beside));
        ASSERT_TRUE(!installedFile || WriteFile(installed));
        EXPECT_EQ(Application::LanguageFilePath(Folder() + "bin/"), expected);
    }
}

TEST_F(ApplicationStartTest, TheQuitQuestionsButtonsSpeakTheChosenLanguage) {
    ASSERT_TRUE(QFile::copy(ORVANTA_STRINGS_XML, QString::fromStdString(Folder() + "strings.xml")));
    SetDetailedMessageResponder({});
    const struct {
        const char* language;
        QStringList buttons;
    } rows[] = {{"de", {"&Ja", "&Nein"}}, {"fr", {"&Non", "&Oui"}}, {"en", {"&No", "&Yes"}}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.language);
        AppProfile::WriteString(AppProfile::kUiSection, AppProfile::kActiveLanguageKey,
                                row.language);
        StringTable::Release();
        ASSERT_TRUE(Application::LoadLanguage(Folder()));
        MainWizardWindow window(WizardPages{std::make_unique<WizardPage>(),
                                            std::make_unique<WizardPage>(),
                                            std::make_unique<WizardPage>()});
        QStringList shown;
        QTimer::singleShot(0, [&shown] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            for (const QAbstractButton* button : box->buttons()) {
                shown.append(button->text());
            }
            box->button(QMessageBox::No)->click();
        });
        window.ConfirmExit();
        shown.sort();
        EXPECT_EQ(shown, row.buttons);
    }
    Application::UseQtTranslations("en");
    FailOnUnexpectedMessages();
}

TEST(ApplicationLanguageTest, AFirstStartTakesTheFirstSystemLanguageTheFileOffers) {
    const std::vector<std::string> offered = {"de", "en", "fr"};
    const std::vector<std::pair<QStringList, std::string>> cases = {
        {{"de-DE", "de-Latn-DE", "de"}, "de"},
        {{"de-AT", "de-Latn-AT"}, "de"},
        {{"pt", "pt-BR", "fr", "fr-FR"}, "fr"},
        {{"FR_ca"}, "fr"},
        {{"C"}, ""},
        {{"es-ES"}, ""},
    };
    for (const auto& [preferred, language] : cases) {
        SCOPED_TRACE(preferred.join(',').toStdString());
        EXPECT_EQ(AppProfile::FirstOfferedLanguage(preferred, offered), language);
    }
}

TEST(ApplicationCommandLineTest, OnlyFromNavorelAsWrittenMarksAStartByTheUpdater) {
    const std::vector<std::pair<QStringList, bool>> cases = {
        {{"from_navorel"}, true},
        {{"/from_navorel"}, true},
        {{"-from_navorel"}, true},
        {{"FROM_NAVOREL"}, false},
        {{"from_navorel2"}, false},
        {{"--from_navorel"}, false},
        {{}, false},
    };
    for (const auto& [parameters, fromUpdater] : cases) {
        SCOPED_TRACE(parameters.join(' ').toStdString());
        EXPECT_EQ(Application::IsFromUpdater(QStringList{"/opt/x/orvanta"} + parameters),
                  fromUpdater);
    }
    // The program's own name is not a parameter.
    EXPECT_FALSE(Application::IsFromUpdater({"from_navorel"}));
}

TEST(ApplicationCommandLineTest, TheFirstPlainParameterIsTheSongMadeAbsolute) {
    const QString here = QDir::currentPath();
    const std::vector<std::pair<QStringList, QString>> cases = {
        {{"song.mp3"}, here + "/song.mp3"},
        {{"/from_navorel", "-x", "/m/a b.wav", "c.wav"}, "/m/a b.wav"},
        {{"from_navorel", "../up.wav"}, QDir::cleanPath(here + "/../up.wav")},
        {{"from_navorel", "-style", ""}, ""},
    };
    for (const auto& [parameters, song] : cases) {
        SCOPED_TRACE(parameters.join(' ').toStdString());
        EXPECT_EQ(Application::FileToOpen(QStringList{"/opt/x/orvanta"} + parameters), song);
    }
}

TEST(ApplicationInstanceTest, OneCopyPerDisplayWhateverTheScreen) {
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    const QByteArray x11 = qgetenv("DISPLAY");
    // Wayland display, X display, the name's ending.
    for (const auto& [waylandDisplay, x11Display, ending] :
         std::vector<std::tuple<const char*, const char*, const char*>>{
             {"", "", "ORVANTA"},
             {"", ":0.1", "ORVANTA@:0"},
             {"", "localhost:10.0", "ORVANTA@localhost:10"},
             {"wayland-1", ":0", "ORVANTA@wayland-1"}}) {
        qputenv("WAYLAND_DISPLAY", waylandDisplay);
        qputenv("DISPLAY", x11Display);
        EXPECT_EQ(Application::SingleInstanceName(), std::string("CInstanceChecker_MMF_") + ending);
    }
    qputenv("WAYLAND_DISPLAY", wayland);
    qputenv("DISPLAY", x11);
}

TEST(ApplicationSettingsTest, TheStoreIsNamedAfterTheProductInTheProgramsOwnFile) {
    const QString organisation = QCoreApplication::organizationName();
    Application::RootSettingsAtProduct(CMiscFunc::GetExePathName());
    EXPECT_EQ(QCoreApplication::organizationName(), "Orvanta");
    EXPECT_EQ(QCoreApplication::applicationName(), "Orvanta");
    Application::RootSettingsAtProduct("/nonexistent/program");
    EXPECT_EQ(QCoreApplication::organizationName(), "");
    QCoreApplication::setOrganizationName(organisation);
}

} // namespace
