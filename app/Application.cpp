#include "Application.h"

#include "AppProfile.h"
#include "MessageBox.h"
#include "StartupLock.h"
#include "StringTable.h"
#include "UpdateChecker.h"
#include "pxmisc/CInstanceChecker.h"
#include "pxmisc/CMiscFunc.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QTimer>
#include <QTranslator>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <gst/gst.h>
#include <system_error>
#include <thread>

namespace {

bool g_closingForUpdate = false;
bool g_mediaReady = false;

const char* const kLanguageFileError = "An error occurs when opening language file. Re-install "
                                       "the ringtone program usually fixes this problem.";
// GStreamer stands where the component object system and OLE were; their failure message stays.
const char* const kMediaError = "OLE failed to initialize.";

// How long a second copy waits for a first one that is still starting to show its window.
constexpr std::chrono::seconds kFirstCopyWait{5};
constexpr std::chrono::milliseconds kFirstCopyPoll{100};

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};

// The display the program's windows go to; "" without one.
QString DisplayName() {
    const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (!wayland.isEmpty()) {
        return wayland;
    }
    // ":0" and ":0.0" are one display: the screen number does not make a session of its own.
    static const QRegularExpression screenSuffix(QStringLiteral("^(.*:\\d+)\\.\\d+$"));
    QString display = qEnvironmentVariable("DISPLAY");
    const QRegularExpressionMatch match = screenSuffix.match(display);
    return match.hasMatch() ? match.captured(1) : display;
}

// True when a running copy answered and brought its window forward. A copy that answers
// nothing is ending (or stuck): it counts as none, and the lock decides.
bool BringFirstCopyForward(CInstanceChecker& checker, const std::string& name,
                           const std::string& fileToOpen) {
    if (!checker.PreviousInstanceRunning(name.c_str())) {
        return false;
    }
    const WId window = checker.ActivatePreviousInstance(fileToOpen);
    if (window == 0) {
        qInfo("orvanta: the copy found did not answer; it is taken as ending");
        return false;
    }
    qInfo("orvanta: another copy runs; its window %llu was asked to come to the front",
          static_cast<unsigned long long>(window));
    return true;
}

// True when this process is to be the session's copy. Otherwise the running copy has been
// brought forward, or one that is still starting did not publish its window in time; either way
// this process must end without a window.
bool ClaimFirstCopy(CInstanceChecker& checker, StartupLock& lock, const std::string& name,
                    const std::string& fileToOpen) {
    const auto deadline = std::chrono::steady_clock::now() + kFirstCopyWait;
    for (;;) {
        if (BringFirstCopyForward(checker, name, fileToOpen)) {
            return false;
        }
        if (lock.TryAcquire()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            qInfo("orvanta: another copy is still starting; this one ends");
            return false;
        }
        std::this_thread::sleep_for(kFirstCopyPoll);
    }
}

bool InitialiseMedia() {
    GError* error = nullptr;
    if (gst_init_check(nullptr, nullptr, &error)) {
        g_mediaReady = true;
        return true;
    }
    const std::unique_ptr<GError, ErrorFree> owned(error);
    qWarning("orvanta: GStreamer cannot start: %s", owned ? owned->message : "no reason given");
    ShowMessage(nullptr, Message{kMediaError, MessageKind::Error, MessageButtons::Ok,
                                 owned ? owned->message : ""});
    return false;
}

// The texts of the chosen language. Until the user has chosen one, which of the system's
// languages the file offers is known only once it has been read: it is read again in that one.
bool LoadChosenLanguage(const std::string& path) {
    StringTable& table = StringTable::Instance();
    const std::string requested = AppProfile::ActiveLanguage();
    if (!table.Load(path, requested)) {
        return false;
    }
    const std::string active = AppProfile::ActiveLanguage();
    if (!StringTable::SameLanguageCode(active, requested)) {
        table.Load(path, active);
    }
    Application::UseQtTranslations(active);
    return true;
}

int RunMainWindow(CInstanceChecker& checker, StartupLock& lock, const std::string& name,
                  const Application::WindowFactory& makeWindow,
                  const Application::FileOpener& openFile, const QString& fileToOpen) {
    const std::unique_ptr<QDialog> window = makeWindow();
    CInstanceChecker::OpenFileHandler handOver;
    if (openFile) {
        handOver = [openFile](const std::string& path) { openFile(QString::fromStdString(path)); };
    }
    if (!checker.TrackFirstInstanceRunning(name.c_str(), window.get(), handOver)) {
        // Cannot happen while the start-up lock works; should it fail, the copy that owns the
        // name keeps the screen.
        BringFirstCopyForward(checker, name, fileToOpen.toStdString());
        return EXIT_SUCCESS;
    }
    if (openFile && !fileToOpen.isEmpty()) {
        // Once the window runs, so that the import happens in front of it.
        QTimer::singleShot(0, window.get(), [openFile, fileToOpen] { openFile(fileToOpen); });
    }
    window->exec();
    // The first step of the exit: this copy answers no one from here on, so a start made while
    // it ends must find no copy and open its own window.
    checker.WithdrawFirstInstance(name.c_str());
    lock.Release();
    return EXIT_SUCCESS;
}

} // namespace

int Application::Start(const WindowFactory& makeWindow, const FileOpener& openFile) {
    const std::string name = SingleInstanceName();
    const QString fileToOpen = FileToOpen(QCoreApplication::arguments());
    CInstanceChecker checker;
    StartupLock lock(name);
    if (!ClaimFirstCopy(checker, lock, name, fileToOpen.toStdString())) {
        return EXIT_SUCCESS;
    }
    const std::string programPath = CMiscFunc::GetExePathName();
    const std::string programFolder = CMiscFunc::GetExePath();
    if (!InitialiseMedia()) {
        return EXIT_FAILURE;
    }
    RootSettingsAtProduct(programPath);
    LoadLanguage(programFolder);
    const UpdateSettings update = UpdateChecker::ForProgram(
        programPath, CMiscFunc::GetAppVersion(programPath.c_str(), "ProductVersion"));
    UpdateChecker::DeleteUpdaterCopies(update);
    if (!IsFromUpdater(QCoreApplication::arguments()) && OfferPendingUpdate(update)) {
        return EXIT_SUCCESS;
    }
    // Outlives the window, so that a notice arriving while it is open finds its handler.
    NewInstallerReceiver receiver(update);
    UpdateChecker::Start(update, receiver.Notice());
    return RunMainWindow(checker, lock, name, makeWindow, openFile, fileToOpen);
}

void Application::Exit() {
    StringTable::Release();
    if (g_mediaReady) {
        gst_deinit();
        g_mediaReady = false;
    }
}

bool Application::IsClosingForUpdate() {
    return g_closingForUpdate;
}

void Application::SetClosingForUpdate(bool closing) {
    g_closingForUpdate = closing;
}

std::string Application::SingleInstanceName() {
    const QString display = DisplayName();
    std::string name = UpdateChecker::kSingleInstanceName;
    if (!display.isEmpty()) {
        // Appended in two steps: GCC 12 at -O3 takes "@" + text for an overlapping copy.
        name += '@';
        name += display.toStdString();
    }
    return name;
}

bool Application::IsFromUpdater(const QStringList& arguments) {
    for (qsizetype index = 1; index < arguments.size(); ++index) {
        QString parameter = arguments[index];
        if (parameter.startsWith(QLatin1Char('/')) || parameter.startsWith(QLatin1Char('-'))) {
            parameter.remove(0, 1);
        }
        if (parameter == QLatin1String("from_navorel")) {
            return true;
        }
    }
    return false;
}

QString Application::FileToOpen(const QStringList& arguments) {
    for (qsizetype index = 1; index < arguments.size(); ++index) {
        const QString& parameter = arguments[index];
        if (parameter.isEmpty() || parameter.startsWith(QLatin1Char('-')) ||
            IsFromUpdater({QString(), parameter})) {
            continue;
        }
        // The copy that opens it may run in another working folder.
        return QFileInfo(parameter).absoluteFilePath();
    }
    return {};
}

bool Application::OfferPendingUpdate(const UpdateSettings& settings) {
    const std::string installer = UpdateChecker::FindNewerInstaller(settings);
    return !installer.empty() && UpdateChecker::OfferUpdate(settings, installer);
}

void Application::UseQtTranslations(const std::string& code) {
    static const QString kTranslatorName = QStringLiteral("orvanta-qt-translations");
    QCoreApplication* application = QCoreApplication::instance();
    if (auto* earlier =
            application->findChild<QTranslator*>(kTranslatorName, Qt::FindDirectChildrenOnly)) {
        QCoreApplication::removeTranslator(earlier);
        delete earlier;
    }
    // The code comes from the settings: only a plain language code names a file.
    static const QRegularExpression plainCode(QStringLiteral("^[A-Za-z_]{1,16}$"));
    const QString language = QString::fromStdString(code);
    if (!plainCode.match(language).hasMatch()) {
        return;
    }
    auto translator = std::make_unique<QTranslator>(application);
    translator->setObjectName(kTranslatorName);
    if (translator->load(QStringLiteral("qtbase_") + language,
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator.release());
    }
}

void Application::RootSettingsAtProduct(const std::string& programPath) {
    const std::string product = CMiscFunc::GetAppVersion(programPath.c_str(), "ProductName");
    QCoreApplication::setOrganizationName(QString::fromStdString(product));
    QCoreApplication::setApplicationName(QStringLiteral("Orvanta"));
}

std::string Application::LanguageFilePath(const std::string& programFolder) {
    // Beside the program in the build tree; in an installation under any prefix, the data
    // folder that the program folder's parent holds.
    const std::string places[] = {programFolder + "strings.xml",
                                  programFolder + "../share/orvanta/strings.xml"};
    for (const std::string& place : places) {
        std::error_code error;
        if (std::filesystem::is_regular_file(place, error)) {
            return place;
        }
    }
    return places[0];
}

bool Application::LoadLanguage(const std::string& programFolder) {
    if (LoadChosenLanguage(LanguageFilePath(programFolder))) {
        return true;
    }
    ShowMessage(nullptr, Message{kLanguageFileError, MessageKind::Error});
    return false;
}
