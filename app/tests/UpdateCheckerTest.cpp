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
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Server = LoopbackHttpServer;

const char* const kAsk = "/upgrade/retrieve_latest_orvanta.html";
const char* const kDownload = "/download/upgrades/orvanta_setup_1.01.exe";
const std::string kInstaller = "MZ stand-in installer " + std::string(3000, 'x');
// Records where it runs from, its argument count and first argument beside itself, then renames
// the record into place.
const char* const kStandInUpdater =
    "#!/bin/sh\nprintf '%s\\n%s\\n%s' \"$0\" \"$#\" \"$1\" > \"${0%/*}/call.$$\"\n"
    "mv \"${0%/*}/call.$$\" \"${0%/*}/updater-call.txt\"\n";

// The names of all files below `folder`, sorted.
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

// Answers the update question as told and notes where it was asked.
class QuestionRecorder {
public:
    explicit QuestionRecorder(int answer) {
        SetMessageResponder([this, answer](const std::string& text, MessageButtons buttons) {
            asked.push_back(text);
            onUiThreadWithYesNo &=
                std::this_thread::get_id() == m_uiThread && buttons == MessageButtons::YesNo;
            beforeMainWindow = AppMainWindow() == nullptr;
            return answer;
        });
    }
    ~QuestionRecorder() { FailOnUnexpectedMessages(); }
    QuestionRecorder(const QuestionRecorder&) = delete;
    QuestionRecorder& operator=(const QuestionRecorder&) = delete;

    std::vector<std::string> asked;
    bool onUiThreadWithYesNo = true;
    bool beforeMainWindow = false;

private:
    std::thread::id m_uiThread = std::this_thread::get_id();
};

class UpdateCheckerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_program.valid() && m_strings.loaded());
        m_settings = {m_program.Path() + "orvanta",
                      m_program.Path(),
                      "1.00",
                      "",
                      m_program.Path() + "upgrades/",
                      {/*connectTimeoutMs=*/2000, /*totalTimeoutMs=*/3000, /*maxBytes=*/65536}};
    }
    void TearDown() override {
        Application::SetClosingForUpdate(false);
        UpdateChecker::SetUpdaterFailed(false);
    }

    bool AddStandInUpdater() const {
        const std::string path = m_program.Path() + "Navorel";
        if (!WriteTextFile(path, kStandInUpdater)) {
            return false;
        }
        std::error_code error;
        fs::permissions(path, fs::perms::owner_all, error);
        return !error;
    }
    // "<updater>\n<count>\n<argument>" once the stand-in has run from the upgrades folder, ""
    // when it did not.
    std::string UpdaterCall() const {
        const std::string record = m_settings.upgradesFolder + "updater-call.txt";
        WaitUntil([&record] { return fs::exists(record); }, std::chrono::seconds(10));
        return ReadTextFile(record);
    }
    std::string ExpectedCall(const std::string& installer) const {
        return m_settings.upgradesFolder + "NavorelNow\n1\n" + installer + "&&" +
               m_settings.programPath + "&&CInstanceChecker_MMF_ORVANTA&&SW_SHOW";
    }
    static std::string Question() {
        return StringTable::Instance().Lookup("idd_new_version_availabled");
    }

    ProgramFolder m_program;
    ScopedStringTable m_strings{"en"};
    UpdateSettings m_settings;
};

TEST_F(UpdateCheckerTest, TheServersAnswerDecidesWhatIsDownloadedAndWhetherTheUserIsAsked) {
    const std::string newer = "ORVANTA_SETUP_1.01.EXE";
    const std::string whole = Server::Ok(kInstaller);
    struct Case {
        const char* what;
        std::string answer;
        std::string download; // the response to the download; "" never answers
        bool downloaded;
    };
    const std::vector<Case> cases = {
        {"the running version, in capitals", "ORVANTA_SETUP_1.00.EXE", whole, false},
        {"the running version, mixed case", "Orvanta_Setup_1.00.exe", whole, false},
        {"an older version", "orvanta_setup_0.99.exe", whole, false},
        {"a newer version, in capitals", newer, whole, true},
        {"a path up and out", "../../.bashrc", whole, false},
        {"an absolute path", "/etc/x", whole, false},
        {"a folder in the name", "orvanta_setup_9/x.exe", whole, false},
        {"two dots", "orvanta_setup_9..exe", whole, false},
        {"a line end", "orvanta_setup_1.01.exe\n", whole, false},
        {"another program", "setup_9.00.exe", whole, false},
        {"no .exe", "orvanta_setup_9.00.sh", whole, false},
        {"over 100 bytes", "orvanta_setup_" + std::string(83, '9') + ".exe", whole, false},
        {"an error page", "<html>Not here</html>", whole, false},
        {"a 404 download", newer, "HTTP/1.0 404 Not Found\r\n\r\ngone", false},
        {"a cut download", newer, Server::Ok(kInstaller, kInstaller.size() + 10), false},
        {"a download that never comes", newer, "", false},
        {"a download over the size limit", newer, Server::Ok(std::string(65537, 'x')), false},
    };
    for (const Case& check : cases) {
        SCOPED_TRACE(check.what);
        fs::remove_all(m_settings.upgradesFolder);
        const Server server({{kAsk, Server::Ok(check.answer)}, {kDownload, check.download}});
        m_settings.server = server.Address();
        NewInstallerReceiver receiver(m_settings);
        const QuestionRecorder questions(IDNO);
        std::thread(UpdateChecker::Run, m_settings, receiver.Notice()).join();
        QCoreApplication::sendPostedEvents(&receiver);

        const std::vector<std::string> requests = server.Requests();
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests[0].rfind(std::string("GET ") + kAsk + " HTTP/1.0\r\n", 0), 0u);
        EXPECT_NE(requests[0].find("\r\nUser-Agent: RIDEVI(0.9/;p)\r\n"), std::string::npos);
        EXPECT_EQ(requests.size(), check.answer == newer ? 2u : 1u);
        if (requests.size() > 1) {
            EXPECT_EQ(requests[1].rfind(std::string("GET ") + kDownload + " ", 0), 0u);
        }
        // Nothing is written anywhere but the one installer in the upgrades folder.
        const std::vector<std::string> installer{"orvanta_setup_1.01.exe"};
        EXPECT_EQ(FilesUnder(fs::path(m_program.Path()).parent_path().parent_path()),
                  check.downloaded ? installer : std::vector<std::string>{});
        if (check.downloaded) {
            EXPECT_EQ(ReadTextFile(m_settings.upgradesFolder + installer[0]), kInstaller);
        }
        EXPECT_EQ(questions.asked.size(), check.downloaded ? 1u : 0u);
        EXPECT_TRUE(questions.onUiThreadWithYesNo);
    }
}

TEST_F(UpdateCheckerTest, ADownloadedInstallerIsAskedAboutOnTheUiThreadAndYesEndsTheProgram) {
    ASSERT_TRUE(AddStandInUpdater());
    const Server server(
        {{kAsk, Server::Ok("ORVANTA_SETUP_1.01.EXE")}, {kDownload, Server::Ok(kInstaller)}});
    m_settings.server = server.Address();
    QDialog window;
    SetAppMainWindow(&window);
    NewInstallerReceiver receiver(m_settings);
    const QuestionRecorder questions(IDYES);
    std::thread thread(UpdateChecker::Run, m_settings, receiver.Notice());
    // Should the notice never come, the window closes anyway and the checks below fail.
    QTimer::singleShot(20000, &window, &QDialog::reject);
    window.exec();
    thread.join();
    SetAppMainWindow(nullptr);

    EXPECT_TRUE(Application::IsClosingForUpdate());
    EXPECT_EQ(questions.asked, std::vector<std::string>{Question()});
    EXPECT_TRUE(questions.onUiThreadWithYesNo);
    const std::string installer = m_settings.upgradesFolder + "orvanta_setup_1.01.exe";
    EXPECT_EQ(ReadTextFile(installer), kInstaller);
    EXPECT_EQ(UpdaterCall(), ExpectedCall(installer));
}

// Each row a way the update went wrong around its folders. A whole round runs, with links
// planted at both of the installer's names in the upgrades folder: the check, the download, the
// question (answered Yes), the updater's start, then a second offer in the same run.
TEST_F(UpdateCheckerTest, OnlyAPrivateUpgradesFolderIsUsedAndTheUpdaterRunsFromIt) {
    enum class Fault {
        LinksPlanted,
        ForeignOwner,
        OpenToOthers,
        ReadOnlyProgram,
        NoUpdater,
        Https
    };
    struct Row {
        const char* what;
        Fault fault;
        bool downloaded;
        std::vector<std::string> shown;
    };
    const std::string question = Question();
    const std::string notStarted = StringTable::Instance().Lookup("ide_updater_not_started");
    const std::vector<Row> rows = {
        {"links at both names", Fault::LinksPlanted, true, {question, question}},
        {"a folder of another user", Fault::ForeignOwner, false, {}},
        {"a folder others may write", Fault::OpenToOthers, false, {}},
        {"a read-only program folder", Fault::ReadOnlyProgram, true, {question, question}},
        {"an updater that cannot start", Fault::NoUpdater, true, {question, notStarted}},
        {"an https server", Fault::Https, false, {}},
    };
    const fs::path root = fs::path(m_program.Path()).parent_path().parent_path();
    const fs::path victim = root / "victim.txt";
    const fs::path created = root / "created-by-download";
    const std::string program = m_program.Path();
    for (std::size_t index = 0; index < rows.size(); ++index) {
        const Row& row = rows[index];
        SCOPED_TRACE(row.what);
        if (row.fault == Fault::ForeignOwner && getuid() != 0) {
            continue; // only root can hand a folder to another user
        }
        m_settings.upgradesFolder =
            (root / ("data" + std::to_string(index)) / "upgrades/").string();
        UpdateChecker::CreateFolderPath(m_settings.upgradesFolder);
        const std::string installer = m_settings.upgradesFolder + "orvanta_setup_1.01.exe";
        ASSERT_TRUE(WriteTextFile(victim.string(), "precious") && AddStandInUpdater());
        fs::create_symlink(victim, installer + ".tmp");
        fs::create_symlink(created, installer);
        switch (row.fault) {
        case Fault::ForeignOwner:
            ASSERT_EQ(::chown(m_settings.upgradesFolder.c_str(), 65534, 65534), 0);
            break;
        case Fault::OpenToOthers:
            fs::permissions(m_settings.upgradesFolder, fs::perms::all);
            break;
        case Fault::ReadOnlyProgram:
            fs::permissions(program, fs::perms::owner_read | fs::perms::owner_exec);
            break;
        case Fault::NoUpdater:
            fs::remove(program + "Navorel");
            break;
        default:
            break;
        }
        const Server server(
            {{kAsk, Server::Ok("orvanta_setup_1.01.exe")}, {kDownload, Server::Ok(kInstaller)}});
        m_settings.server = server.Address();
        if (row.fault == Fault::Https) {
            m_settings.server.replace(0, 4, "https");
        }
        NewInstallerReceiver receiver(m_settings);
        const QuestionRecorder messages(IDYES);
        std::thread(UpdateChecker::Run, m_settings, receiver.Notice()).join();
        QCoreApplication::sendPostedEvents(&receiver);
        Application::OfferPendingUpdate(m_settings);

        const std::vector<std::string> requests = server.Requests();
        ASSERT_FALSE(requests.empty());
        // Asked over TLS when the address says https; a plain server gets a handshake.
        EXPECT_EQ(requests[0].starts_with("GET "), row.fault != Fault::Https);
        EXPECT_EQ(ReadTextFile(victim.string()), "precious");
        EXPECT_FALSE(fs::exists(created));
        EXPECT_EQ(fs::is_regular_file(fs::symlink_status(installer)), row.downloaded);
        EXPECT_EQ(messages.asked, row.shown);
        if (row.shown.size() == 2 && row.shown[1] == question) {
            EXPECT_EQ(UpdaterCall(), ExpectedCall(installer));
        }
        // Nothing is ever written beside the program.
        EXPECT_EQ(FilesUnder(program), row.fault == Fault::NoUpdater
                                           ? std::vector<std::string>{}
                                           : std::vector<std::string>{"Navorel"});
        fs::permissions(program, fs::perms::owner_all);
        UpdateChecker::SetUpdaterFailed(false);
    }
}

TEST_F(UpdateCheckerTest, AnInstallerIsOfferedBeforeTheWindowUntilTakenAndDeletedAfterTheUpdate) {
    ASSERT_TRUE(AddStandInUpdater());
    UpdateChecker::CreateFolderPath(m_settings.upgradesFolder);
    // The name on disk keeps its spelling all the way to the updater.
    const std::string installer = m_settings.upgradesFolder + "Orvanta_Setup_1.01.EXE";
    ASSERT_TRUE(WriteTextFile(installer, kInstaller));
    ASSERT_TRUE(WriteTextFile(m_settings.upgradesFolder + "readme.txt", "stays"));
    {
        const QuestionRecorder no(IDNO);
        EXPECT_FALSE(Application::OfferPendingUpdate(m_settings));
        EXPECT_FALSE(Application::OfferPendingUpdate(m_settings));
        EXPECT_EQ(no.asked, std::vector<std::string>(2, Question()));
        EXPECT_TRUE(no.beforeMainWindow);
    }
    {
        const QuestionRecorder yes(IDYES);
        EXPECT_TRUE(Application::OfferPendingUpdate(m_settings));
        EXPECT_EQ(UpdaterCall(), ExpectedCall(installer));
    }
    // The updater installed 1.01: the next start removes its installer and the updater's copy,
    // and asks nothing.
    m_settings.runningVersion = "1.01";
    UpdateChecker::DeleteUpdaterCopies(m_settings);
    EXPECT_FALSE(Application::OfferPendingUpdate(m_settings));
    EXPECT_EQ(FilesUnder(m_settings.upgradesFolder),
              (std::vector<std::string>{"readme.txt", "updater-call.txt"}));
}

TEST_F(UpdateCheckerTest, UpgradesGoBesideTheProgramOrElseToTheUsersDataFolder) {
    EXPECT_EQ(UpdateChecker::UpgradesFolderFor(m_program.Path()), m_program.Path() + "upgrades/");
    // A folder that cannot be written, even by root: its path runs through a plain file.
    ASSERT_TRUE(WriteTextFile(m_program.Path() + "file", ""));
    EXPECT_EQ(UpdateChecker::UpgradesFolderFor(m_program.Path() + "file/bin/"),
              qgetenv("XDG_DATA_HOME").toStdString() + "/Orvanta/Orvanta/upgrades/");
}

TEST(UpdateServerTest, TheEnvironmentWinsOverTheProfileAndNoServerStartsNoCheck) {
    // Environment (nullptr: unset), profile, the server used.
    for (const auto& [environment, profile, server] :
         std::vector<std::tuple<const char*, const char*, const char*>>{
             {"http://127.0.0.1:8080/", "http://profile.invalid", "http://127.0.0.1:8080"},
             {nullptr, "http://127.0.0.1:9/", "http://127.0.0.1:9"},
             {"", "http://profile.invalid", ""},
             {nullptr, "", ""}}) {
        if (environment != nullptr) {
            qputenv("ORVANTA_UPDATE_SERVER", environment);
        } else {
            qunsetenv("ORVANTA_UPDATE_SERVER");
        }
        AppProfile::WriteString("update", "server", profile);
        EXPECT_EQ(UpdateChecker::ForProgram("/opt/orvanta/orvanta", "1.00").server, server);
    }
    qunsetenv("ORVANTA_UPDATE_SERVER");
    ClearSettings();
    UpdateSettings settings;
    EXPECT_FALSE(UpdateChecker::Start(settings, nullptr));
    settings.server = "file:///etc";
    EXPECT_FALSE(UpdateChecker::Start(settings, nullptr));
}

} // namespace
