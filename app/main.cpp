// Start-up of the window program: settings and language, then the wizard until
// it closes.
#include "AppProfile.h"
#include "DialogProgressSteps.h"
#include "MainWizardWindow.h"
#include "MessageBox.h"
#include "ProgressSteps.h"
#include "StringTable.h"

#include "pxmisc/CMiscFunc.h"

#include <QApplication>
#include <cstdlib>

namespace {

// Shown in English on purpose: without the language file there is nothing to
// translate it with.
const char *const kLanguageFileError =
    "An error occurs when opening language file. Re-install "
    "the ringtone program usually fixes this problem.";

void RootSettingsAtProduct(const std::string &programPath) {
  const std::string product =
      CMiscFunc::GetAppVersion(programPath.c_str(), "ProductName");
  QApplication::setOrganizationName(QString::fromStdString(product));
  QApplication::setApplicationName(QStringLiteral("Orvanta"));
}

void LoadLanguage() {
  const std::string path = CMiscFunc::GetExePath() + "strings.xml";
  if (!StringTable::Instance().Load(path, AppProfile::ActiveLanguage())) {
    ShowMessage(nullptr, kLanguageFileError, MessageButtons::Ok);
  }
}

int RunWizard() {
  DialogProgressSteps progress;
  const orvanta::ScopedProgressSteps installed(progress);
  MainWizardWindow window;
  window.exec();
  return EXIT_SUCCESS;
}

} // namespace

int main(int argc, char **argv) {
  QApplication application(argc, argv);
  RootSettingsAtProduct(CMiscFunc::GetExePathName());
  LoadLanguage();
  const int status = RunWizard();
  StringTable::Release();
  return status;
}
