#pragma once

#include "MediaGraph.h"
#include "pxmisc/ISubject.h"
#include "pxmisc/ITimerPX.h"

#include <cstdint>
#include <memory>
#include <string>

class QObject;

namespace orvanta {

class CAttribMedia;

// Previews a period of a file with optional fade ramps, and announces every change of its state
// and its play position to its observers as named events (arg2 of a state event identifies
// the player; see AddressToken). Positions and durations are milliseconds. Drives its
// timers through CTimer on the notify window, which must also hand the graph's
// GraphNotifyEvent to HandleGraphEvents.
class MediaPlayer : public ISubject, public ITimerPX {
public:
    // The poll's id is the timer base plus this; the others are fixed, so a page must not use
    // a timer base that makes the poll collide with them.
    static constexpr int kPositionPollOffset = 10;
    static constexpr int kFadeOutPointTimer = 20;
    static constexpr int kFadeInTimer = 30;
    static constexpr int kFadeOutTimer = 31;
    static constexpr int kTickMs = 100;
    // How much earlier than one fade length before the end the fade-out is announced.
    static constexpr int kFadeOutLeadMs = 400;

    MediaPlayer();
    ~MediaPlayer() override;
    MediaPlayer(const MediaPlayer&) = delete;
    MediaPlayer& operator=(const MediaPlayer&) = delete;

    void Init(QObject* window, int timerBase);
    // 1 on success, 0 on failure. Reads the record's path and writes only its duration; the
    // record may be destroyed once Load returns.
    int Load(CAttribMedia* media);
    void Play();
    void Stop();
    void SetPositions(int32_t startMs, int32_t endMs);
    void SetPosition(int32_t positionMs);
    void SetVolume(int percent);
    void SetFadeDuration(int fadeMs);
    void PlayWithFade(bool fadeIn);
    void FadeOut(bool fadeOut);
    int HandleGraphEvents();
    int ReleaseGraph();

    void OnTimer(int timerId) override;

    // The name of the last state-changing event.
    const std::string& GetState() const { return m_state; }
    // The percent last sent to the graph (after clamping), -1 before any.
    int GetAppliedVolume() const { return m_appliedVolume; }

    // A 32-bit token for an address, as events carry it. It only identifies an object (two
    // live objects never share the low 32 bits of their addresses in practice); observers
    // that need the player use the subject argument of Update instead.
    static uint32_t AddressToken(const void* address);

    // Hundredths of a decibel for a volume in percent, clamped to 0..100 %.
    static int32_t VolumeToHundredthsDb(int percent);
    // The percent a ramp of `steps` applies at `step` (1..steps) for a base volume.
    static int RampVolume(bool fadingIn, int step, int steps, int baseVolume);

private:
    int32_t CurrentPositionMs() const;
    int32_t DurationMs() const;
    int32_t PercentPlayed() const;
    int32_t SelectionEndMs() const;

    void Announce(const std::string& event, uint32_t arg1);
    void FailLoad();
    void ApplyVolume(int percent);
    void StartRamp(int timerId);
    void EndRamp(int timerId);
    void EndRunningRamp();
    bool StepRamp();
    void KillPlaybackTimers();
    void PollPosition();
    void PauseAtTheEnd();
    void Complete(const char* abortEvent);

    const CAttribMedia* m_media = nullptr; // never read after Load
    std::string m_state = "Stopped";
    std::unique_ptr<MediaGraph> m_graph;
    QObject* m_notifyWindow = nullptr;
    int m_timerBase = -1;
    int m_fadeDirection = 1; // 1 = fading out, 0 = fading in
    bool m_fadeOutPointArmed = false;
    int m_volume = 0; // percent, what ramps lead to or from
    int m_fadeStep = 0;
    int m_fadeDuration = 0; // ms
    int m_fadeSteps = 0;
    int m_runningRamp = 0; // the timer id of the ramp under way, 0 for none
    int m_appliedVolume = -1;
    int32_t m_selectionEnd = 0; // 0 = the end of the file
};

} // namespace orvanta
