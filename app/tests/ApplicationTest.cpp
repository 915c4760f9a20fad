#include "Application.h"

#include "AppProfile.h"
#include "MainWizardWindow.h"
#include "StringTable.h"
#include "UiTestSupport.h"
#include "pxmisc/CMiscFunc.h"

#include <QCoreApplication>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace {

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
    const MainWizardWindow window;
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, kLanguageFileError);
    EXPECT_EQ(messages.shown()[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(StringTable::Instance().Lookup("idd_production_local_name"), "");
    EXPECT_TRUE(window.windowTitle().isEmpty());
    EXPECT_TRUE(window.HelpMenu()->title().isEmpty());
}

TEST_F(ApplicationStartTest, TheUpdatersLeftoverCopyIsDeletedAndNothingElse) {
    const std::string folder = Folder();
    for (const char* name : {"NavorelNow", "Navorel", "strings.xml"}) {
        QFile file(QString::fromStdString(folder + name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    Application::DeleteUpdaterCopy(folder);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(folder + "NavorelNow")));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(folder + "Navorel")));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(folder + "strings.xml")));
    // Nothing to delete is no failure.
    Application::DeleteUpdaterCopy(folder);
}

TEST(ApplicationCommandLineTest, OnlyFromNavorelAsWrittenMarksAStartByTheUpdater) {
    const std::vector<std::pair<QStringList, bool>> cases = {
        {{"from_navorel"}, true},
        {{"/from_navorel"}, true},
        {{"-from_navorel"}, true},
        {{"song.mp3", "from_navorel"}, true},
        {{"FROM_NAVOREL"}, false},
        {{"from_navorel2"}, false},
        {{"--from_navorel"}, false},
        {{"/From_Navorel"}, false},
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

TEST(ApplicationInstanceTest, OneCopyPerDisplayWhateverTheScreen) {
    struct Case {
        const char* wayland;
        const char* x11;
        const char* name;
    };
    const std::vector<Case> cases = {
        {"", "", "CInstanceChecker_MMF_ORVANTA"},
        {"", ":0", "CInstanceChecker_MMF_ORVANTA@:0"},
        {"", ":0.1", "CInstanceChecker_MMF_ORVANTA@:0"},
        {"", "localhost:10.0", "CInstanceChecker_MMF_ORVANTA@localhost:10"},
        {"wayland-1", ":0", "CInstanceChecker_MMF_ORVANTA@wayland-1"},
    };
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    const QByteArray x11 = qgetenv("DISPLAY");
    for (const Case& check : cases) {
        qputenv("WAYLAND_DISPLAY", check.wayland);
        qputenv("DISPLAY", check.x11);
        EXPECT_EQ(Application::SingleInstanceName(), check.name);
    }
    qputenv("WAYLAND_DISPLAY", wayland);
    qputenv("DISPLAY", x11);
}

TEST_F(ApplicationStartTest, TheLanguageFileBesideTheProgramIsReadInTheChosenLanguage) {
    ASSERT_TRUE(QFile::copy(ORVANTA_STRINGS_XML, m_folder.filePath("strings.xml")));
    AppProfile::WriteString("ui", "active_language", "de");
    EXPECT_TRUE(Application::LoadLanguage(Folder()));
    const std::string german = StringTable::Instance().Lookup("idc_cancel");
    StringTable::Release();
    AppProfile::WriteString("ui", "active_language", "en");
    EXPECT_TRUE(Application::LoadLanguage(Folder()));
    EXPECT_FALSE(german.empty());
    EXPECT_NE(german, StringTable::Instance().Lookup("idc_cancel"));
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
