#include "Application.h"

#include "AppProfile.h"
#include "StringTable.h"
#include "UiTestSupport.h"
#include "pxmisc/CMiscFunc.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, kLanguageFileError);
    EXPECT_EQ(messages.shown()[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(StringTable::Instance().Lookup("idd_production_local_name"), "");
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
