#include "Application.h"

#include "AppProfile.h"
#include "MessageBox.h"
#include "StringTable.h"
#include "pxmisc/CMiscFunc.h"

#include <QCoreApplication>

namespace {

bool g_closingForUpdate = false;

const char* const kLanguageFileError = "An error occurs when opening language file. Re-install "
                                       "the ringtone program usually fixes this problem.";

} // namespace

bool Application::IsClosingForUpdate() {
    return g_closingForUpdate;
}

void Application::SetClosingForUpdate(bool closing) {
    g_closingForUpdate = closing;
}

void Application::RootSettingsAtProduct(const std::string& programPath) {
    const std::string product = CMiscFunc::GetAppVersion(programPath.c_str(), "ProductName");
    QCoreApplication::setOrganizationName(QString::fromStdString(product));
    QCoreApplication::setApplicationName(QStringLiteral("Orvanta"));
}

bool Application::LoadLanguage(const std::string& programFolder) {
    if (StringTable::Instance().Load(programFolder + "strings.xml", AppProfile::ActiveLanguage())) {
        return true;
    }
    ShowMessage(nullptr, kLanguageFileError, MessageButtons::Ok);
    return false;
}
