#include "Application.h"

#include "AppProfile.h"
#include "MainWizardWindow.h"
#include "StringTable.h"
#include "UiTestSupport.h"
#include "WizardPage.h"
#include "pxmisc/CMiscFunc.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <tuple>
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
