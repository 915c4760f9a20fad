#pragma once

#include "InstallerDownload.h"

#include <QEvent>
#include <QObject>
#include <memory>
#include <mutex>
#include <string>

// Posted to the user-interface thread when the update thread has downloaded a newer installer.
extern const QEvent::Type WM_REG_NEW_INSTALLER;

// Everything the update check needs to know about this program, fixed before the thread starts
// and copied into it, so that the thread shares nothing with the user-interface thread.
struct UpdateSettings {
    // The running executable and its folder (ending with "/").
    std::string programPath;
    std::string programFolder;
    std::string runningVersion;
    // Base address such as "http://127.0.0.1:8080"; empty means no update check.
    std::string server;
    // Ends with "/".
    std::string upgradesFolder;
    DownloadLimits limits;
};

// The update thread's only way back: posts WM_REG_NEW_INSTALLER to a receiver on the
// user-interface thread, or nothing once that receiver is gone (the thread is never waited for,
// so it may finish after the window has closed).
class InstallerNotice {
public:
    explicit InstallerNotice(QObject* receiver);
    void Post();
    void Disconnect();

private:
    std::mutex m_lock;
    QObject* m_receiver;
};

// Receives WM_REG_NEW_INSTALLER and runs the new-installer handler.
class NewInstallerReceiver : public QObject {
public:
    explicit NewInstallerReceiver(UpdateSettings settings);
    ~NewInstallerReceiver() override;
    NewInstallerReceiver(const NewInstallerReceiver&) = delete;
    NewInstallerReceiver& operator=(const NewInstallerReceiver&) = delete;

    std::shared_ptr<InstallerNotice> Notice() const { return m_notice; }

protected:
    bool event(QEvent* event) override;

private:
    UpdateSettings m_settings;
    std::shared_ptr<InstallerNotice> m_notice;
};

// Asks the update server for the newest installer, downloads it when it is newer than the
// running version, and offers to hand it to the updater program "Navorel".
class UpdateChecker {
public:
    // The single-instance name the updater is told about.
    static constexpr const char* kSingleInstanceName = "CInstanceChecker_MMF_ORVANTA";

    // The settings of the program at `programPath`, which runs `runningVersion`: the server
    // from the environment variable ORVANTA_UPDATE_SERVER (even when empty), else the profile's
    // "update"/"server", else the build's default; the upgrades folder as UpgradesFolderFor.
    static UpdateSettings ForProgram(const std::string& programPath,
                                     const std::string& runningVersion);
    // "upgrades/" in the program folder when that can be written (and, when it exists, is the
    // user's own and closed to others), else in the user's data folder.
    static std::string UpgradesFolderFor(const std::string& programFolder);

    // Starts Run on a detached thread. False, with a line in the log, when there is no server
    // or the thread cannot start.
    static bool Start(const UpdateSettings& settings, std::shared_ptr<InstallerNotice> notice);
    // The update thread's body; returns 0.
    static int Run(UpdateSettings settings, std::shared_ptr<InstallerNotice> notice);

    // The path, as spelled on disk, of a downloaded installer newer than the running version:
    // a plain file of this user (never a link) in a safe upgrades folder; "" when there is none.
    // An installer that is not newer is deleted.
    static std::string FindNewerInstaller(const UpdateSettings& settings);
    // Asks the user; on Yes starts a fresh copy of the updater, made in the upgrades folder (the
    // updater itself when no copy can be made), with the installer and returns true. When the
    // updater cannot be started the user is told, the result is false, and nothing is offered
    // again in this run.
    static bool OfferUpdate(const UpdateSettings& settings, const std::string& installerPath);
    // Whether the updater failed to start in this run, so that nothing more is offered.
    static void SetUpdaterFailed(bool failed);
    // Removes the copies of the updater that an earlier update ran, from the upgrades folder
    // and from the program folder; failures are ignored.
    static void DeleteUpdaterCopies(const UpdateSettings& settings);
    // The handler of WM_REG_NEW_INSTALLER: offers a newer installer and, when accepted, closes
    // the main window without asking.
    static void OnNewInstaller(const UpdateSettings& settings);

    // "orvanta_setup_<version>.exe", lower-cased.
    static std::string InstallerName(const std::string& version);
    // The installer name the update server's answer gives, lower-cased; "" when the answer is
    // not a name IsAcceptableInstallerName accepts.
    static std::string InstallerNameFromAnswer(const std::string& answer);
    // Whether a lower-cased name is one the program will store: "orvanta_setup_", then letters,
    // digits, ".", "-" or "_", then ".exe"; at most 100 bytes, no "..".
    static bool IsAcceptableInstallerName(const std::string& name);
    // The updater's one argument: installer, program, single-instance name and show state,
    // joined by "&&".
    static std::string UpdaterArgument(const std::string& installerPath,
                                       const std::string& programPath);
    // Creates every folder along `folderPath` (ending with "/"), one level after the other;
    // new folders are open to this user alone.
    static void CreateFolderPath(const std::string& folderPath);
};
