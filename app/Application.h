#pragma once

// The program-wide state the application object keeps for the windows.
class Application {
public:
    // Set once the updater has been started while the window is open: the window then closes
    // without asking.
    static bool IsClosingForUpdate();
    static void SetClosingForUpdate(bool closing);
};
