// orvanta-cli-play.so: the preview player behind "play", with Qt and GStreamer.
#include "CAttribMedia.h"
#include "MediaPlayer.h"
#include "ModuleEntries.h"
#include "PrintableText.h"
#include "RingtoneSettings.h"
#include "StopSignals.h"
#include "pxmisc/IObserver.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <sys/stat.h>

namespace orvanta::cli {

namespace {

constexpr int kInterruptCheckMs = 50;

const char* const kEvents[] = {"Loading",         "Loaded",           "LoadFailed",  "Stopped",
                               "Playing",         "Completed",        "UserAbort",   "ErrorAbort",
                               "FadingStart",     "FadingEnd",        "FadingIn",    "FadingOut",
                               "PositionChanged", "PositionsChanged", "FadeOutPoint"};

struct PlayChoices {
    int startMs = 0;
    int endMs = 0; // 0: to the end of the file
    std::optional<int> fadeMs;
    bool fadeIn = true;
    bool fadeOut = true;
};

// The window the player's timers and graph notifications go to.
class PlayerWindow : public QObject {
public:
    explicit PlayerWindow(MediaPlayer& player) : m_player(player) {}
    bool event(QEvent* event) override {
        if (event->type() != MediaGraph::NotifyEventType()) {
            return QObject::event(event);
        }
        m_player.HandleGraphEvents();
        return true;
    }

private:
    MediaPlayer& m_player;
};

// Follows the player as the edit page does: answers the fade-out point, and ends the run when
// the player stops or completes.
class PlaySession : public IObserver {
public:
    PlaySession(MediaPlayer& player, bool fadeOut, bool verbose)
        : m_player(player), m_fadeOut(fadeOut), m_verbose(verbose) {
        for (const char* event : kEvents) {
            m_player.AddObserver(this, event, 0);
        }
    }
    ~PlaySession() override { m_player.RemoveObserver(this); }
    PlaySession(const PlaySession&) = delete;
    PlaySession& operator=(const PlaySession&) = delete;

    void Update(ISubject* /*subject*/, std::string event, uint32_t /*data*/, uint32_t arg1,
                uint32_t arg2) override {
        if (m_verbose) {
            Print(event, arg1, arg2);
        }
        if (event == "FadeOutPoint") {
            m_player.FadeOut(m_fadeOut);
        } else if (event == "Playing") {
            m_played = true;
        } else if (event == "ErrorAbort") {
            m_failed = true;
        } else if (m_started && (event == "Stopped" || event == "Completed")) {
            m_finished = true;
            QCoreApplication::quit();
        }
    }

    void Start() { m_started = true; }
    bool Finished() const { return m_finished; }
    bool Failed() const { return m_failed; }
    bool Played() const { return m_played; }

private:
    static void Print(const std::string& event, uint32_t arg1, uint32_t arg2) {
        // Position events carry two numbers; the others a number and the player's token.
        const bool twoNumbers =
            event == "PositionChanged" || event == "PositionsChanged" || event == "FadeOutPoint";
        if (twoNumbers) {
            std::fprintf(stderr, "%s %u %u\n", event.c_str(), arg1, arg2);
        } else {
            std::fprintf(stderr, "%s %u\n", event.c_str(), arg1);
        }
    }

    MediaPlayer& m_player;
    bool m_fadeOut;
    bool m_verbose;
    bool m_started = false;
    bool m_finished = false;
    bool m_failed = false;
    bool m_played = false;
};

std::optional<int> MsOption(const CommandLine& line, const std::string& name) {
    const auto found = line.values.find(name);
    if (found == line.values.end()) {
        return 0;
    }
    const std::optional<int> value = ParseWholeNumber(found->second);
    return value && *value >= 0 ? value : std::nullopt;
}

std::optional<PlayChoices> ParseChoices(const CommandLine& line) {
    const std::optional<int> startMs = MsOption(line, "start");
    const std::optional<int> endMs = MsOption(line, "end");
    const std::optional<int> fadeMs = MsOption(line, "fade");
    if (!startMs || !endMs || !fadeMs || (*endMs != 0 && *endMs <= *startMs)) {
        return std::nullopt;
    }
    PlayChoices choices{*startMs, *endMs, std::nullopt, !line.Has("no-fade-in"),
                        !line.Has("no-fade-out")};
    if (line.values.count("fade") != 0) {
        choices.fadeMs = *fadeMs;
    }
    return choices;
}

// One line on stderr: the log's last complaint, or `fallback` when it has none.
void Fail(const std::string& file, std::string reason, const char* fallback) {
    while (!reason.empty() && std::isspace(static_cast<unsigned char>(reason.back())) != 0) {
        reason.pop_back();
    }
    std::replace(reason.begin(), reason.end(), '\n', ' ');
    std::fprintf(stderr, "orvanta-cli: %s: %s\n", Printable(file).c_str(),
                 Printable(reason.empty() ? fallback : reason).c_str());
}

// Only a regular file is handed to the player: GStreamer would wait for a FIFO's writer in
// open(), deaf to signals, and read a device without end. Nullopt when it may be played (or
// does not exist, which the player reports), else the reason.
std::optional<std::string> RefusedInput(const std::string& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0 || S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return S_ISDIR(info.st_mode) ? "is a folder, not a WAV file" : "is not a regular file";
}

// The selection's end within the file, used for the stop position and the fade alike: an end
// past the file's would keep the fade-out point from ever coming.
int SelectionEndMs(const PlayChoices& choices, int durationMs) {
    return choices.endMs == 0 ? durationMs : std::min(choices.endMs, durationMs);
}

// Sets the selection and the fade as the edit page does before it plays.
void StartPreview(MediaPlayer& player, const PlayChoices& choices, int endMs) {
    player.SetVolume(100);
    player.SetPositions(choices.startMs, choices.endMs == 0 ? 0 : endMs);
    player.SetFadeDuration(
        choices.fadeMs.value_or(FadeLengthForSelection(std::max(0, endMs - choices.startMs))));
    player.PlayWithFade(choices.fadeIn);
}

Outcome RunPreview(MediaPlayer& player, PlaySession& session, const std::string& file,
                   const std::string& lastError) {
    bool interrupted = false;
    QTimer interruptCheck;
    QObject::connect(&interruptCheck, &QTimer::timeout, [&] {
        if (StopSignals::Received() != 0 && !interrupted) {
            interrupted = true;
            player.Stop();
            QCoreApplication::quit();
        }
    });
    interruptCheck.start(kInterruptCheckMs);
    if (!session.Finished()) {
        QCoreApplication::exec();
    }
    if (session.Failed()) {
        Fail(file, lastError, "playback failed");
        return Outcome::Failed;
    }
    return interrupted ? Outcome::Cancelled : Outcome::Done;
}

// What "play" does once the player is loaded (PlayCommand.h).
Outcome PreviewWithPlayer(const CommandLine& line, const std::string& lastEngineError) {
    const std::optional<PlayChoices> choices = ParseChoices(line);
    if (!choices) {
        std::fprintf(stderr,
                     "orvanta-cli: --start, --end and --fade take whole milliseconds, "
                     "start < end\n%s",
                     UsageText(line.command).c_str());
        return Outcome::UsageError;
    }
    const std::string& file = line.arguments[0];
    if (const std::optional<std::string> refused = RefusedInput(file)) {
        Fail(file, *refused, "");
        return Outcome::Failed;
    }
    std::string error;
    if (!MediaGraph::Initialise(error)) {
        Fail(file, error, "GStreamer cannot start");
        return Outcome::Failed;
    }
    int argc = 1;
    char name[] = "orvanta-cli";
    char* argv[] = {name, nullptr};
    const QCoreApplication application(argc, argv);
    MediaGraph::SetWaitCanceller([] { return StopSignals::Received() != 0; });
    MediaPlayer player;
    PlayerWindow window(player);
    player.Init(&window, 0);
    PlaySession session(player, choices->fadeOut, line.verbose);
    CAttribMedia media(file);
    if (player.Load(&media) == 0) {
        // A stop signal gives up GStreamer's wait for the file: that is the user's doing.
        if (StopSignals::Received() != 0) {
            return Outcome::Cancelled;
        }
        Fail(file, lastEngineError, "cannot be played");
        return Outcome::Failed;
    }
    const int endMs = SelectionEndMs(*choices, media.GetDuration());
    if (choices->startMs >= endMs) {
        Fail(file,
             media.GetDuration() == 0 ? "the file holds no audio"
                                      : "the selection holds no audio: the file lasts " +
                                            std::to_string(media.GetDuration()) + " ms",
             "");
        player.ReleaseGraph();
        return Outcome::Failed;
    }
    session.Start();
    StartPreview(player, *choices, endMs);
    if (!session.Played()) {
        Fail(file, lastEngineError, "playback did not start");
        player.ReleaseGraph();
        return Outcome::Failed;
    }
    const Outcome outcome = RunPreview(player, session, file, lastEngineError);
    player.ReleaseGraph();
    return outcome;
}

constexpr PlayModule kEntries{&PreviewWithPlayer};

} // namespace

} // namespace orvanta::cli

// orvanta-cli-play.so's entry: the tool loads the player, and with it Qt and GStreamer, only
// for "play".
extern "C" __attribute__((visibility("default"))) const orvanta::cli::PlayModule*
orvanta_cli_play_module() {
    return &orvanta::cli::kEntries;
}
