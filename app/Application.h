#pragma once

#include <QStringList>
#include <functional>
#include <memory>
#include <string>

class QDialog;
struct UpdateSettings;

// The program's start-up and exit, and the program-wide state the windows read.
class Application {
public:
    // Makes the main window, once the program has decided to show one.
    using WindowFactory = std::function<std::unique_ptr<QDialog>()>;
    // Opens a song the program was started with, or one a later start handed over; called on
    // the event loop of the main window, with an absolute path.
    using FileOpener = std::function<void(const QString& path)>;

    // The whole start: one copy per user and display session, the updater's leftover copy
    // removed, media, settings and language ready, a pending installer offered, the update
    // check started, then the main window until it closes. A file named on the command line goes
    // to `openFile` once the window runs, or to the copy that runs already. Needs the
    // QApplication. Returns the exit status: 0 also when another copy was brought forward or the
    // updater was started.
    static int Start(const WindowFactory& makeWindow, const FileOpener& openFile = {});
    // The exit work: the string table and the media framework are released.
    static void Exit();

    // Set once the updater has been started while the window is open: the window then closes
    // without asking.
    static bool IsClosingForUpdate();
    static void SetClosingForUpdate(bool closing);

    // The name under which the copy of a user's display session is found: the design's
    // single-instance name, followed by "@" and the display when there is one.
    static std::string SingleInstanceName();
    // True when a parameter (the program's own name excluded) is "from_navorel", with or
    // without one leading "/" or "-"; the comparison is case-sensitive.
    static bool IsFromUpdater(const QStringList& arguments);
    // The song the program was started with: the first parameter that is neither a switch nor
    // "from_navorel", made absolute against the working folder; "" when there is none.
    static QString FileToOpen(const QStringList& arguments);
    // Before any window: offers a downloaded installer newer than the running version. True
    // when the user accepted and the program must end.
    static bool OfferPendingUpdate(const UpdateSettings& settings);

    // Names the settings store after the product recorded in the program's own file.
    static void RootSettingsAtProduct(const std::string& programPath);
    // The language file for the program in `programFolder` (ending with "/"): the first of its
    // places that holds one, else the place beside the program.
    static std::string LanguageFilePath(const std::string& programFolder);
    // Loads the language file of the program in `programFolder` in the language chosen in the
    // settings. When the file cannot be read the user is told, in English since there is
    // nothing to translate with, and the program goes on with empty texts.
    static bool LoadLanguage(const std::string& programFolder);
    // Qt's own texts (standard buttons, the file dialog) in the language `code`, from Qt's
    // translations; replaces what an earlier call installed. English needs none.
    static void UseQtTranslations(const std::string& code);
};
