#include "MediaPlayer.h"

#include "CAttribMedia.h"
#include "EngineLog.h"
#include "pxmisc/CFileSpec.h"
#include "pxmisc/CTimer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace orvanta {

namespace {

constexpr int64_t kUnitsPerMs = 10000; // the graph counts 100-ns units
constexpr int kFadingIn = 0;
constexpr int kFadingOut = 1;

int32_t ToMs(int64_t units) {
    return static_cast<int32_t>(std::clamp<int64_t>(units / kUnitsPerMs, 0, INT32_MAX));
}

} // namespace

MediaPlayer::MediaPlayer() = default;

MediaPlayer::~MediaPlayer() {
    // Quietly: the observers may already be half destroyed (the page owns its player), but no
    // timer may call back into a dead player.
    KillPlaybackTimers();
    if (m_runningRamp != 0) {
        CTimer::KillTimer(m_notifyWindow, m_runningRamp);
    }
}

uint32_t MediaPlayer::AddressToken(const void* address) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address));
}

int32_t MediaPlayer::VolumeToHundredthsDb(int percent) {
    percent = std::clamp(percent, 0, 100);
    if (percent == 0) {
        return MediaGraph::kSilentVolume;
    }
    return static_cast<int32_t>(3000.0 * std::log10(percent * 0.01));
}

int MediaPlayer::RampVolume(bool fadingIn, int step, int steps, int baseVolume) {
    const int reached = fadingIn ? step : steps - step;
    return static_cast<int>(static_cast<double>(reached) * baseVolume / steps);
}

void MediaPlayer::Init(QObject* window, int timerBase) {
    m_notifyWindow = window;
    m_timerBase = timerBase;
    if (m_graph) {
        m_graph->SetNotifyWindow(window, timerBase);
    }
}

int MediaPlayer::Load(CAttribMedia* media) {
    Announce("Loading", 0);
    ReleaseGraph();
    // The path as given: file names here are case-sensitive.
    auto graph = std::make_unique<MediaGraph>();
    graph->SetNotifyWindow(m_notifyWindow, m_timerBase);
    if (media == nullptr || !CFileSpec(media->GetPath()).Exists()) {
        EngineLog::Error("No such file\n");
        FailLoad();
        return 0;
    }
    if (!graph->RenderFile(media->GetPath())) {
        FailLoad();
        return 0;
    }
    m_graph = std::move(graph);
    media->SetDuration(DurationMs());
    m_media = media;
    Announce("Loaded", AddressToken(media));
    return 1;
}

void MediaPlayer::FailLoad() {
    m_media = nullptr;
    Announce("LoadFailed", 0);
    Announce("Stopped", 0);
}

void MediaPlayer::Play() {
    if (!m_graph || m_state == "Playing" || !m_graph->Run()) {
        return;
    }
    m_fadeOutPointArmed = false;
    CTimer::SetTimer(m_notifyWindow, m_timerBase + kPositionPollOffset, kTickMs, this);
    Announce("Playing", 0);
}

void MediaPlayer::Stop() {
    if (!m_graph || m_state == "Stopped" || m_state == "Completed") {
        return;
    }
    const int32_t percent = PercentPlayed();
    KillPlaybackTimers();
    EndRunningRamp();
    if (m_graph->Stop()) {
        m_graph->SetPositions(0, 0);
        m_graph->StopWhenReady();
    }
    SetPosition(0);
    Announce("Stopped", static_cast<uint32_t>(percent));
}

void MediaPlayer::SetPositions(int32_t startMs, int32_t endMs) {
    if (!m_graph) {
        return;
    }
    m_graph->SetPositions(startMs * kUnitsPerMs, endMs * kUnitsPerMs);
    m_selectionEnd = endMs;
    NotifyObservers("PositionsChanged", static_cast<uint32_t>(startMs),
                    static_cast<uint32_t>(endMs));
}

void MediaPlayer::SetPosition(int32_t positionMs) {
    if (!m_graph) {
        return;
    }
    m_graph->SetPositions(positionMs * kUnitsPerMs, 0);
    NotifyObservers("PositionChanged", static_cast<uint32_t>(positionMs),
                    static_cast<uint32_t>(DurationMs()));
}

void MediaPlayer::SetVolume(int percent) {
    m_volume = percent;
    ApplyVolume(percent);
}

void MediaPlayer::ApplyVolume(int percent) {
    if (m_graph && m_graph->PutVolume(VolumeToHundredthsDb(percent))) {
        m_appliedVolume = std::clamp(percent, 0, 100);
    }
}

void MediaPlayer::SetFadeDuration(int fadeMs) {
    m_fadeDuration = fadeMs;
}

void MediaPlayer::PlayWithFade(bool fadeIn) {
    if (!fadeIn || m_fadeDuration == 0) {
        ApplyVolume(100); // full volume, not the base volume
        Play();
        return;
    }
    ApplyVolume(0);
    Play();
    m_fadeDirection = kFadingIn;
    m_fadeStep = 0;
    m_fadeSteps = m_fadeDuration / kTickMs;
    StartRamp(kFadeInTimer);
    Announce("FadingIn", AddressToken(m_media));
}

void MediaPlayer::FadeOut(bool fadeOut) {
    if (!fadeOut || m_fadeDuration == 0) {
        return;
    }
    m_fadeDirection = kFadingOut;
    m_fadeStep = 0;
    m_fadeSteps = m_fadeDuration / kTickMs;
    StartRamp(kFadeOutTimer);
    Announce("FadingOut", static_cast<uint32_t>(PercentPlayed()));
}

void MediaPlayer::StartRamp(int timerId) {
    // Both ramps share one step counter: a fade-out that starts while the fade-in still runs
    // ends the fade-in rather than letting two timers step the same ramp.
    EndRunningRamp();
    Announce("FadingStart", static_cast<uint32_t>(timerId));
    CTimer::SetTimer(m_notifyWindow, timerId, kTickMs, this);
    m_runningRamp = timerId;
}

void MediaPlayer::EndRamp(int timerId) {
    CTimer::KillTimer(m_notifyWindow, timerId);
    if (m_runningRamp == timerId) {
        m_runningRamp = 0;
    }
    Announce("FadingEnd", static_cast<uint32_t>(timerId));
}

void MediaPlayer::EndRunningRamp() {
    if (m_runningRamp != 0) {
        EndRamp(m_runningRamp);
    }
}

bool MediaPlayer::StepRamp() {
    ++m_fadeStep;
    if (m_fadeStep > m_fadeSteps) {
        m_fadeStep = 0;
        return false;
    }
    ApplyVolume(RampVolume(m_fadeDirection == kFadingIn, m_fadeStep, m_fadeSteps, m_volume));
    return true;
}

void MediaPlayer::KillPlaybackTimers() {
    CTimer::KillTimer(m_notifyWindow, m_timerBase + kPositionPollOffset);
    CTimer::KillTimer(m_notifyWindow, kFadeOutPointTimer);
}

int MediaPlayer::HandleGraphEvents() {
    MediaGraph::Event event;
    // An observer may release or reload the graph from inside an event: look at it each time.
    while (m_graph && m_graph->GetEvent(event)) {
        switch (event.code) {
        case MediaGraph::EC_COMPLETE:
            PauseAtTheEnd();
            KillPlaybackTimers();
            EndRamp(kFadeOutTimer);
            Announce("Completed", 100);
            m_fadeOutPointArmed = false;
            break;
        case MediaGraph::EC_USERABORT:
            Complete("UserAbort");
            break;
        case MediaGraph::EC_ERRORABORT:
            EngineLog::Error("Playback failed: %s\n", event.text.c_str());
            Complete("ErrorAbort");
            break;
        default:
            if (!event.text.empty()) {
                EngineLog::Info("Playback: %s\n", event.text.c_str());
            }
            break;
        }
    }
    return 1;
}

void MediaPlayer::PauseAtTheEnd() {
    // A graph left running at its end would start sounding at the next SetPositions, before
    // PlayWithFade has lowered the volume for its fade-in.
    m_graph->Stop();
}

void MediaPlayer::Complete(const char* abortEvent) {
    PauseAtTheEnd();
    Announce(abortEvent, 0);
    // An aborted graph plays no more: nothing may keep polling or stepping it.
    KillPlaybackTimers();
    EndRunningRamp();
    Announce("Completed", 100);
    m_fadeOutPointArmed = false;
}

int MediaPlayer::ReleaseGraph() {
    if (m_graph) {
        m_graph->SetNotifyWindow(nullptr, 0);
    }
    Stop();
    KillPlaybackTimers();
    EndRunningRamp();
    m_graph.reset();
    return 1;
}

void MediaPlayer::OnTimer(int timerId) {
    if (timerId - m_timerBase == kPositionPollOffset) {
        PollPosition();
        return;
    }
    switch (timerId) {
    case kFadeOutPointTimer:
        CTimer::KillTimer(m_notifyWindow, kFadeOutPointTimer);
        NotifyObservers("FadeOutPoint", static_cast<uint32_t>(CurrentPositionMs()),
                        static_cast<uint32_t>(DurationMs()));
        break;
    case kFadeInTimer:
        if (!StepRamp()) {
            EndRamp(kFadeInTimer);
        }
        break;
    case kFadeOutTimer:
        if (!StepRamp()) {
            EndRamp(kFadeOutTimer);
            Stop();
        }
        break;
    default:
        break;
    }
}

void MediaPlayer::PollPosition() {
    if (!m_graph) {
        return;
    }
    const int32_t position = CurrentPositionMs();
    const int32_t end = SelectionEndMs();
    if (m_fadeDuration != 0 && !m_fadeOutPointArmed &&
        int64_t{position} + m_fadeDuration + kFadeOutLeadMs >= end) {
        m_fadeOutPointArmed = true;
        CTimer::SetTimer(m_notifyWindow, kFadeOutPointTimer, 0, this);
    }
    NotifyObservers("PositionChanged", static_cast<uint32_t>(position), static_cast<uint32_t>(end));
}

void MediaPlayer::Announce(const std::string& event, uint32_t arg1) {
    m_state = event;
    NotifyObservers(event, arg1, AddressToken(this));
}

int32_t MediaPlayer::CurrentPositionMs() const {
    return m_graph ? ToMs(m_graph->GetCurrentPosition().value_or(0)) : 0;
}

int32_t MediaPlayer::DurationMs() const {
    return m_graph ? ToMs(m_graph->GetDuration().value_or(0)) : 0;
}

int32_t MediaPlayer::PercentPlayed() const {
    const int32_t duration = DurationMs();
    return duration == 0 ? 0 : static_cast<int32_t>(int64_t{CurrentPositionMs()} * 100 / duration);
}

int32_t MediaPlayer::SelectionEndMs() const {
    return m_selectionEnd != 0 ? m_selectionEnd : DurationMs();
}

} // namespace orvanta
