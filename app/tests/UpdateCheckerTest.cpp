#include "UpdateChecker.h"

#include "AppMainWindow.h"
#include "AppProfile.h"
#include "Application.h"
#include "LoopbackHttpServer.h"
#include "ProgramFolder.h"
#include "StringTable.h"
#include "UiTestSupport.h"

#include <QCoreApplication>
#include <QDialog>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace {

namespace fs = std::filesystem;
using Reply = LoopbackHttpServer::Reply;

const char* const kAskPath = "/upgrade/retrieve_latest_orvanta.html";
const char* const kNewerDownload = "/download/upgrades/orvanta_setup_1.01.exe";
const std::string kInstallerBody = "MZ stand-in installer\n" + std::string(3000, 'x');

// The entries of a folder by name; none when it does not exist.
std::vector<std::string> NamesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The names of all files below `folder`, at any depth.
std::vector<std::string> FilesUnder(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_directory()) {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Answers the update question as told and keeps which threads asked.
class QuestionRecorder {
public:
    explicit QuestionRecorder(int answer) {
        SetMessageResponder([this, answer](const std::string& text, MessageButtons buttons) {
            asked.push_back(text);
            onUserInterfaceThread = onUserInterfaceThread &&
                                    std::this_thread::get_id() == m_userInterfaceThread &&
                                    buttons == MessageButtons::YesNo;
            beforeMainWindow = AppMainWindow() == nullptr;
            return answer;
        });
    }
    ~QuestionRecorder() { FailOnUnexpectedMessages(); }
    QuestionRecorder(const QuestionRecorder&) = delete;
    QuestionRecorder& operator=(const QuestionRecorder&) = delete;

    std::vector<std::string> asked;
    bool onUserInterfaceThread = true;
    bool beforeMainWindow = false;

private:
    std::thread::id m_userInterfaceThread = std::this_thread::get_id();
};

class UpdateCheckerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_program.valid());
        ASSERT_TRUE(m_strings.loaded());
        m_settings.programPath = m_program.Path() + "orvanta";
        m_settings.programFolder = m_program.Path();
        m_settings.runningVersion = "1.00";
        m_settings.upgradesFolder = m_program.Path() + "upgrades/";
        m_settings.limits = {/*connectTimeoutMs=*/2000, /*totalTimeoutMs=*/3000,
                             /*maxBytes=*/64 * 1024};
    }
    void TearDown() override { Application::SetClosingForUpdate(false); }

    // One update check against `server`, waited for; then the posted notice is handled.
    void RunCheck(const LoopbackHttpServer& server, NewInstallerReceiver& receiver) {
        m_settings.server = server.Address();
        std::thread thread(UpdateChecker::Run, m_settings, receiver.Notice());
        thread.join();
        QCoreApplication::sendPostedEvents(&receiver);
    }

    std::string Upgrades() const { return m_settings.upgradesFolder; }
    std::string Question() const {
        return StringTable::Instance().Lookup("idd_new_version_availabled");
    }

    ProgramFolder m_program;
    ScopedStringTable m_strings{"en"};
    UpdateSettings m_settings;
};

struct CheckCase {
    const char* what;
    std::string answer;
    Reply download;
    // The upgrades folder's entries afterwards, and whether the user was asked.
    std::vector<std::string> left;
    bool asked;
};

TEST_F(UpdateCheckerTest, TheServersAnswerDecidesWhatIsDownloadedAndWhetherTheUserIsAsked) {
    const Reply installer{Reply::Kind::Whole, LoopbackHttpServer::Ok(kInstallerBody)};
    const std::string newer = "ORVANTA_SETUP_1.01.EXE";
    const std::vector<CheckCase> cases = {
        {"the running version, in capitals", "ORVANTA_SETUP_1.00.EXE", installer, {}, false},
        {"the running version, mixed case", "Orvanta_Setup_1.00.exe", installer, {}, false},
        {"an older version", "orvanta_setup_0.99.exe", installer, {}, false},
        {"a newer version, in capitals", newer, installer, {"orvanta_setup_1.01.exe"}, true},
        {"a path up and out", "../../.bashrc", installer, {}, false},
        {"an absolute path", "/etc/x", installer, {}, false},
        {"a folder inside the name", "orvanta_setup_9/x.exe", installer, {}, false},
        {"two dots", "orvanta_setup_9..exe", installer, {}, false},
        {"a line end", "orvanta_setup_1.01.exe\n", installer, {}, false},
        {"another program", "setup_9.00.exe", installer, {}, false},
        {"no .exe", "orvanta_setup_9.00.sh", installer, {}, false},
        {"over 100 bytes", "orvanta_setup_" + std::string(83, '9') + ".exe", installer, {}, false},
        {"an error page", "<html>Not here</html>", installer, {}, false},
        {"a 404 download",
         newer,
         {Reply::Kind::Whole, "HTTP/1.0 404 Not Found\r\n\r\ngone"},
         {},
         false},
        {"a cut download",
         newer,
         {Reply::Kind::Whole, LoopbackHttpServer::Cut(kInstallerBody, kInstallerBody.size() + 10)},
         {},
         false},
        {"a download that never comes", newer, {Reply::Kind::Silent, ""}, {}, false},
        {"a download over the size limit",
         newer,
         {Reply::Kind::Whole, LoopbackHttpServer::Ok(std::string(65 * 1024, 'x'))},
         {},
         false},
    };
    for (const CheckCase& check : cases) {
        SCOPED_TRACE(check.what);
        std::error_code ignored;
        fs::remove_all(Upgrades(), ignored);
        LoopbackHttpServer server(
            {{kAskPath, {Reply::Kind::Whole, LoopbackHttpServer::Ok(check.answer)}},
             {kNewerDownload, check.download}});
        ASSERT_FALSE(server.Address().empty());
        NewInstallerReceiver receiver(m_settings);
        QuestionRecorder questions(IDNO);
        RunCheck(server, receiver);

        EXPECT_EQ(NamesIn(Upgrades()), check.left);
        EXPECT_EQ(questions.asked.size(), check.asked ? 1u : 0u);
        EXPECT_TRUE(questions.onUserInterfaceThread);
        // Nothing lands anywhere else either.
        EXPECT_EQ(FilesUnder(fs::path(m_program.Path()).parent_path().parent_path()), check.left);
        const std::vector<std::string> paths = server.Paths();
        ASSERT_GE(paths.size(), 1u);
        EXPECT_EQ(paths[0], kAskPath);
        EXPECT_EQ(paths.size() > 1, check.answer == newer);
        if (paths.size() > 1) {
            EXPECT_EQ(paths[1], kNewerDownload);
        }
    }
}

TEST_F(UpdateCheckerTest, TheAskRequestIsAnHttp10GetWithTheUpdatersAgent) {
    LoopbackHttpServer server({{kAskPath, {Reply::Kind::Whole, LoopbackHttpServer::Ok("x")}}});
    NewInstallerReceiver receiver(m_settings);
    RunCheck(server, receiver);
    const std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].rfind(std::string("GET ") + kAskPath + " HTTP/1.0\r\n", 0), 0u);
    EXPECT_NE(requests[0].find("\r\nUser-Agent: RIDEVI(0.9/;p)\r\n"), std::string::npos);
}

TEST_F(UpdateCheckerTest, ADownloadedInstallerIsAskedAboutOnTheUiThreadAndYesEndsTheProgram) {
    ASSERT_TRUE(m_program.AddStandInUpdater());
    LoopbackHttpServer server(
        {{kAskPath, {Reply::Kind::Whole, LoopbackHttpServer::Ok("ORVANTA_SETUP_1.01.EXE")}},
         {kNewerDownload, {Reply::Kind::Whole, LoopbackHttpServer::Ok(kInstallerBody)}}});
    m_settings.server = server.Address();
    QDialog window;
    SetAppMainWindow(&window);
    NewInstallerReceiver receiver(m_settings);
    QuestionRecorder questions(IDYES);
    std::thread thread(UpdateChecker::Run, m_settings, receiver.Notice());
    // Should the notice never come, the window still closes and the checks below fail.
    QTimer::singleShot(20000, &window, &QDialog::reject);
    window.exec();
    thread.join();
    SetAppMainWindow(nullptr);

    EXPECT_TRUE(Application::IsClosingForUpdate());
    EXPECT_EQ(questions.asked, std::vector<std::string>{Question()});
    EXPECT_TRUE(questions.onUserInterfaceThread);
    const std::string installer = Upgrades() + "orvanta_setup_1.01.exe";
    EXPECT_EQ(ReadTextFile(installer), kInstallerBody);
    EXPECT_EQ(m_program.WaitForUpdaterCall(), "1\n" + installer + "&&" + m_settings.programPath +
                                                  "&&CInstanceChecker_MMF_ORVANTA&&SW_SHOW");
}

TEST_F(UpdateCheckerTest, AnInstallerLeftByNoIsOfferedBeforeTheWindowAtEveryStartUntilTaken) {
    ASSERT_TRUE(m_program.AddStandInUpdater());
    UpdateChecker::CreateFolderPath(Upgrades());
    // The name on disk keeps its spelling all the way to the updater.
    const std::string installer = Upgrades() + "Orvanta_Setup_1.01.EXE";
    ASSERT_TRUE(WriteTextFile(installer, kInstallerBody));
    ASSERT_TRUE(WriteTextFile(Upgrades() + "orvanta_setup_1.00.exe", "old"));
    {
        QuestionRecorder no(IDNO);
        EXPECT_FALSE(Application::OfferPendingUpdate(m_settings));
        EXPECT_FALSE(Application::OfferPendingUpdate(m_settings));
        EXPECT_EQ(no.asked, std::vector<std::string>(2, Question()));
        EXPECT_TRUE(no.beforeMainWindow);
    }
    EXPECT_TRUE(fs::exists(installer));
    QuestionRecorder yes(IDYES);
    EXPECT_TRUE(Application::OfferPendingUpdate(m_settings));
    EXPECT_EQ(m_program.WaitForUpdaterCall(), "1\n" + installer + "&&" + m_settings.programPath +
                                                  "&&CInstanceChecker_MMF_ORVANTA&&SW_SHOW");
    EXPECT_TRUE(fs::exists(m_program.Path() + "NavorelNow"));
}

TEST_F(UpdateCheckerTest, AfterTheUpdateTheNextStartDeletesTheRunningVersionsInstaller) {
    UpdateChecker::CreateFolderPath(Upgrades());
    ASSERT_TRUE(WriteTextFile(Upgrades() + "ORVANTA_SETUP_1.01.EXE", kInstallerBody));
    ASSERT_TRUE(WriteTextFile(Upgrades() + "readme.txt", "stays"));
    m_settings.runningVersion = "1.01";
    const QuestionRecorder questions(IDYES);
    EXPECT_FALSE(Application::OfferPendingUpdate(m_settings));
    EXPECT_TRUE(questions.asked.empty());
    EXPECT_EQ(NamesIn(Upgrades()), std::vector<std::string>{"readme.txt"});
    // An empty folder asks nothing either.
    EXPECT_EQ(UpdateChecker::FindNewerInstaller(m_settings), "");
}

TEST_F(UpdateCheckerTest, UpgradesGoBesideTheProgramOrElseToTheUsersDataFolder) {
    EXPECT_EQ(UpdateChecker::UpgradesFolderFor(m_program.Path()), m_program.Path() + "upgrades/");
    // A folder that cannot be written, even by root: its path runs through a plain file.
    ASSERT_TRUE(WriteTextFile(m_program.Path() + "file", ""));
    const std::string fallback = UpdateChecker::UpgradesFolderFor(m_program.Path() + "file/bin/");
    EXPECT_EQ(fallback,
              QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation).toStdString() +
                  "/upgrades/");
    EXPECT_NE(fallback.find(qgetenv("HOME").toStdString()), std::string::npos);
}

TEST(UpdateServerTest, TheEnvironmentWinsOverTheProfileAndNoServerStartsNoCheck) {
    ClearSettings();
    struct Case {
        const char* environment; // nullptr: unset
        const char* profile;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"http://127.0.0.1:8080/", "http://profile.invalid", "http://127.0.0.1:8080"},
        {nullptr, "http://127.0.0.1:9/", "http://127.0.0.1:9"},
        {"", "http://profile.invalid", ""},
        {nullptr, "", ""},
    };
    for (const Case& check : cases) {
        SCOPED_TRACE(check.expected);
        if (check.environment != nullptr) {
            qputenv("ORVANTA_UPDATE_SERVER", check.environment);
        } else {
            qunsetenv("ORVANTA_UPDATE_SERVER");
        }
        AppProfile::WriteString("update", "server", check.profile);
        const UpdateSettings settings = UpdateChecker::ForProgram("/opt/orvanta/orvanta", "1.00");
        EXPECT_EQ(settings.server, check.expected);
        EXPECT_EQ(settings.programFolder, "/opt/orvanta/");
        EXPECT_EQ(settings.runningVersion, "1.00");
    }
    qunsetenv("ORVANTA_UPDATE_SERVER");
    ClearSettings();
    // Neither no server nor one that is not http(s) gets a thread.
    UpdateSettings settings;
    EXPECT_FALSE(UpdateChecker::Start(settings, nullptr));
    settings.server = "file:///etc";
    EXPECT_FALSE(UpdateChecker::Start(settings, nullptr));
}

} // namespace
