#include "UpdateChecker.h"

#include "AppMainWindow.h"
#include "AppProfile.h"
#include "Application.h"
#include "MessageBox.h"
#include "StringTable.h"
#include "pxmisc/CFileFinder.h"
#include "pxmisc/CFileSpec.h"
#include "pxmisc/GenericHTTPClient.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

const QEvent::Type WM_REG_NEW_INSTALLER = static_cast<QEvent::Type>(QEvent::registerEventType());

namespace {

// The update thread is never waited for and may still run while the program's static objects
// are destroyed: what it reads is constant data, and it logs through stdio, not Qt.
constexpr const char* kUserAgent = "RIDEVI(0.9/;p)";
constexpr const char* kAskPath = "/upgrade/retrieve_latest_orvanta.html";
constexpr const char* kDownloadPath = "/download/upgrades/";
constexpr std::string_view kInstallerPrefix = "orvanta_setup_";
constexpr std::string_view kInstallerSuffix = ".exe";
constexpr std::size_t kMaxInstallerNameBytes = 100;
constexpr const char* kUpdaterCopyName = "NavorelNow";

bool g_updaterFailed = false;

std::string LowerAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; });
    return text;
}

bool StartsWithHttp(const std::string& address) {
    const std::string lower = LowerAscii(address);
    return lower.starts_with("http://") || lower.starts_with("https://");
}

std::string WithoutTrailingSlashes(std::string address) {
    while (!address.empty() && address.back() == '/') {
        address.pop_back();
    }
    return address;
}

std::string ConfiguredServer() {
    if (qEnvironmentVariableIsSet("ORVANTA_UPDATE_SERVER")) {
        return qEnvironmentVariable("ORVANTA_UPDATE_SERVER").toStdString();
    }
    const std::string profiled = AppProfile::GetString("update", "server", "");
    return profiled.empty() ? std::string(ORVANTA_DEFAULT_UPDATE_SERVER) : profiled;
}

// The file name of a path, lower-cased, for the comparisons that ignore case on disk.
std::string LowerFileName(const std::string& path) {
    return LowerAscii(std::filesystem::path(path).filename().string());
}

// A plain file of this user: never a link, which could lead the updater anywhere.
bool IsOwnRegularFile(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
}

// Only in a real folder (not a link) of this user that neither group nor others may write are
// downloads kept and files handed to the updater.
bool IsSafeUpgradesFolder(const std::string& folder) {
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The installers in the folder, by their names ignoring case; the newest last.
std::vector<std::string> InstallersIn(const std::string& folder) {
    CFileFinder finder;
    std::vector<std::string> paths;
    // Appended rather than "*" + suffix: GCC 12 at -O3 warns falsely inside operator+ (-Wrestrict).
    std::string pattern(1, '*');
    pattern.append(kInstallerSuffix);
    const int count = finder.FindFiles(folder, pattern);
    for (int index = 0; index < count; ++index) {
        std::string path(static_cast<const char*>(finder.GetFilePath(index)));
        if (UpdateChecker::IsAcceptableInstallerName(LowerFileName(path)) &&
            IsOwnRegularFile(path)) {
            paths.push_back(std::move(path));
        }
    }
    std::sort(paths.begin(), paths.end(), [](const std::string& left, const std::string& right) {
        return LowerFileName(left) < LowerFileName(right);
    });
    return paths;
}

// Asks the server for the newest installer's name; "" when there is no usable answer.
std::string AskLatestName(const std::string& server) {
    GenericHTTPClient client;
    const std::string url = server + kAskPath;
    if (!client.Request(url.c_str(), GenericHTTPClient::REQUEST_GET, kUserAgent)) {
        std::fprintf(stderr, "orvanta: the update server %s did not answer\n", server.c_str());
        return {};
    }
    std::string name = UpdateChecker::InstallerNameFromAnswer(client.QueryHTTPResponse());
    if (name.empty()) {
        std::fputs("orvanta: ignoring the update server's answer: not an installer name\n", stderr);
    }
    return name;
}

bool DownloadInstaller(const UpdateSettings& settings, const std::string& name) {
    UpdateChecker::CreateFolderPath(settings.upgradesFolder);
    if (!IsSafeUpgradesFolder(settings.upgradesFolder)) {
        std::fprintf(stderr, "orvanta: the upgrades folder %s is not private; no download\n",
                     settings.upgradesFolder.c_str());
        return false;
    }
    const std::string target = settings.upgradesFolder + name;
    const std::string partial = target + ".tmp";
    // Whatever an abandoned download left under the part file's name goes; a link goes itself,
    // never what it points to.
    ::unlink(partial.c_str());
    if (!InstallerDownload::Fetch(settings.server + kDownloadPath + name, partial,
                                  settings.limits)) {
        std::fprintf(stderr, "orvanta: the download of %s failed\n", name.c_str());
        return false;
    }
    // Replaces the entry at the final name, a link included, without following it.
    if (::rename(partial.c_str(), target.c_str()) != 0) {
        ::unlink(partial.c_str());
        return false;
    }
    return true;
}

// The updater may replace "Navorel" itself, so it runs from a copy, made in the upgrades folder:
// this user can always write there, unlike the folder of a program installed for the whole
// system. Without a copy the updater runs where it is.
std::string UpdaterToRun(const UpdateSettings& settings) {
    const std::string original = settings.programFolder + "Navorel";
    if (!IsSafeUpgradesFolder(settings.upgradesFolder)) {
        return original;
    }
    const std::string copy = settings.upgradesFolder + kUpdaterCopyName;
    ::unlink(copy.c_str());
    std::error_code error;
    return std::filesystem::copy_file(original, copy, error) ? copy : original;
}

bool StartUpdater(const UpdateSettings& settings, const std::string& installerPath) {
    const std::string updater = UpdaterToRun(settings);
    const QStringList arguments{QString::fromStdString(
        UpdateChecker::UpdaterArgument(installerPath, settings.programPath))};
    if (!QProcess::startDetached(QString::fromStdString(updater), arguments)) {
        qWarning("orvanta: the updater %s did not start", updater.c_str());
        return false;
    }
    return true;
}

} // namespace

InstallerNotice::InstallerNotice(QObject* receiver) : m_receiver(receiver) {}

void InstallerNotice::Post() {
    const std::lock_guard guard(m_lock);
    if (m_receiver != nullptr) {
        QCoreApplication::postEvent(m_receiver, new QEvent(WM_REG_NEW_INSTALLER));
    }
}

void InstallerNotice::Disconnect() {
    const std::lock_guard guard(m_lock);
    m_receiver = nullptr;
}

NewInstallerReceiver::NewInstallerReceiver(UpdateSettings settings)
    : m_settings(std::move(settings)), m_notice(std::make_shared<InstallerNotice>(this)) {}

NewInstallerReceiver::~NewInstallerReceiver() {
    m_notice->Disconnect();
}

bool NewInstallerReceiver::event(QEvent* event) {
    if (event->type() != WM_REG_NEW_INSTALLER) {
        return QObject::event(event);
    }
    UpdateChecker::OnNewInstaller(m_settings);
    return true;
}

UpdateSettings UpdateChecker::ForProgram(const std::string& programPath,
                                         const std::string& runningVersion) {
    UpdateSettings settings;
    settings.programPath = programPath;
    settings.programFolder = CFileSpec(programPath).GetFullPath();
    settings.runningVersion = runningVersion;
    settings.server = WithoutTrailingSlashes(ConfiguredServer());
    settings.upgradesFolder = UpgradesFolderFor(settings.programFolder);
    return settings;
}

std::string UpdateChecker::UpgradesFolderFor(const std::string& programFolder) {
    const std::string beside = programFolder + "upgrades/";
    std::error_code error;
    const bool exists = std::filesystem::is_directory(beside, error);
    if (!programFolder.empty() &&
        ::access(exists ? beside.c_str() : programFolder.c_str(), W_OK | X_OK) == 0 &&
        (!exists || IsSafeUpgradesFolder(beside))) {
        return beside;
    }
    // An installed program in a system folder still updates, from the user's own copy.
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation).toStdString() +
           "/upgrades/";
}

bool UpdateChecker::Start(const UpdateSettings& settings, std::shared_ptr<InstallerNotice> notice) {
    if (settings.server.empty()) {
        qInfo("orvanta: no update server is set; there is no update check");
        return false;
    }
    if (!StartsWithHttp(settings.server)) {
        qWarning("orvanta: the update server %s is not an http or https address; there is no "
                 "update check",
                 settings.server.c_str());
        return false;
    }
    try {
        std::thread(Run, settings, std::move(notice)).detach();
    } catch (const std::system_error&) {
        qWarning("orvanta: the update check could not start");
        return false;
    }
    return true;
}

int UpdateChecker::Run(UpdateSettings settings, std::shared_ptr<InstallerNotice> notice) {
    try {
        const std::string latest = AskLatestName(settings.server);
        if (latest.empty() || latest <= InstallerName(settings.runningVersion)) {
            return 0;
        }
        if (DownloadInstaller(settings, latest)) {
            notice->Post();
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "orvanta: the update check stopped: %s\n", error.what());
    } catch (...) {
        // An exception escaping a detached thread would end the whole program.
        std::fputs("orvanta: the update check stopped\n", stderr);
    }
    return 0;
}

std::string UpdateChecker::FindNewerInstaller(const UpdateSettings& settings) {
    std::error_code error;
    if (!std::filesystem::exists(settings.upgradesFolder, error)) {
        return {};
    }
    if (!IsSafeUpgradesFolder(settings.upgradesFolder)) {
        qWarning("orvanta: the upgrades folder %s is not private; nothing there is offered",
                 settings.upgradesFolder.c_str());
        return {};
    }
    const std::vector<std::string> installers = InstallersIn(settings.upgradesFolder);
    if (installers.empty()) {
        return {};
    }
    const std::string& newest = installers.back();
    if (LowerFileName(newest) > InstallerName(settings.runningVersion)) {
        return newest;
    }
    // The installer of the running version, or of an older one: it has done its work.
    std::error_code ignored;
    std::filesystem::remove(newest, ignored);
    return {};
}

bool UpdateChecker::OfferUpdate(const UpdateSettings& settings, const std::string& installerPath) {
    if (g_updaterFailed ||
        ShowMessage(AppMainWindow(), StringTable::Instance().Lookup("idd_new_version_availabled"),
                    MessageButtons::YesNo) != IDYES) {
        return false;
    }
    if (StartUpdater(settings, installerPath)) {
        return true;
    }
    // Ending now would leave the program closed and the installer where it was, and the next
    // start would ask again: the user is told instead, once, and the program goes on.
    g_updaterFailed = true;
    ShowMessage(AppMainWindow(), StringTable::Instance().Lookup("ide_updater_not_started"),
                MessageButtons::Ok);
    return false;
}

void UpdateChecker::SetUpdaterFailed(bool failed) {
    g_updaterFailed = failed;
}

void UpdateChecker::DeleteUpdaterCopies(const UpdateSettings& settings) {
    std::error_code ignored;
    // Earlier versions left theirs in the program folder.
    if (!settings.programFolder.empty()) {
        std::filesystem::remove(settings.programFolder + kUpdaterCopyName, ignored);
    }
    if (!settings.upgradesFolder.empty()) {
        std::filesystem::remove(settings.upgradesFolder + kUpdaterCopyName, ignored);
    }
}

void UpdateChecker::OnNewInstaller(const UpdateSettings& settings) {
    const std::string installer = FindNewerInstaller(settings);
    if (installer.empty() || !OfferUpdate(settings, installer)) {
        return;
    }
    Application::SetClosingForUpdate(true);
    if (QWidget* window = AppMainWindow()) {
        QMetaObject::invokeMethod(window, &QWidget::close, Qt::QueuedConnection);
    }
}

std::string UpdateChecker::InstallerName(const std::string& version) {
    std::string name(kInstallerPrefix);
    name += version;
    name += kInstallerSuffix;
    return LowerAscii(std::move(name));
}

std::string UpdateChecker::InstallerNameFromAnswer(const std::string& answer) {
    std::string name = LowerAscii(answer);
    return IsAcceptableInstallerName(name) ? name : std::string();
}

bool UpdateChecker::IsAcceptableInstallerName(const std::string& name) {
    if (name.size() > kMaxInstallerNameBytes ||
        name.size() <= kInstallerPrefix.size() + kInstallerSuffix.size() ||
        !name.starts_with(kInstallerPrefix) || !name.ends_with(kInstallerSuffix) ||
        name.find("..") != std::string::npos) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
    });
}

std::string UpdateChecker::UpdaterArgument(const std::string& installerPath,
                                           const std::string& programPath) {
    return installerPath + "&&" + programPath + "&&" + kSingleInstanceName + "&&SW_SHOW";
}

void UpdateChecker::CreateFolderPath(const std::string& folderPath) {
    for (std::size_t end = folderPath.find('/'); end != std::string::npos;
         end = folderPath.find('/', end + 1)) {
        // The root and folders that exist already fail here, which is fine. New ones are the
        // user's alone: the upgrades folder must be, to be used.
        ::mkdir(folderPath.substr(0, end + 1).c_str(), 0700);
    }
}
