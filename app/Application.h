#pragma once

#include <string>

// The program-wide state the application object keeps for the windows, and the start-up steps
// that come before the main window.
class Application {
public:
    // Set once the updater has been started while the window is open: the window then closes
    // without asking.
    static bool IsClosingForUpdate();
    static void SetClosingForUpdate(bool closing);

    // Names the settings store after the product recorded in the program's own file.
    static void RootSettingsAtProduct(const std::string& programPath);
    // Loads "strings.xml" from the program's folder (ending with "/") in the language chosen in
    // the settings. When the file cannot be read the user is told, in English since there is
    // nothing to translate with, and the program goes on with empty texts.
    static bool LoadLanguage(const std::string& programFolder);
};
