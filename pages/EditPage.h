#pragma once

#include "MediaPlayer.h"
#include "RingtoneSettings.h"
#include "SelectionMeter.h"
#include "WizardPage.h"
#include "pxmisc/IObserver.h"

#include <cstdint>
#include <string>
#include <utility>

class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QScrollBar;
class SelectionFields;
class WaveEditor;

// The second step: the waveform of the working WAV with its selection, a preview of the selection
// with fades, and the ringtone's options. Next cuts the selection and encodes the MP3 behind one
// progress window.
class EditPage : public WizardPage, public IObserver {
    Q_OBJECT

public:
    // Menu commands of the zoom button, with the values the menu has always carried.
    enum ZoomCommand : int {
        kZoomIn = 32771,
        kZoomOut = 32772,
        kZoomFit = 32773,
        kZoomSelection = 32774
    };

    explicit EditPage(QWidget* parent = nullptr);
    ~EditPage() override;

    void OnActivate(int previous) override;
    bool CanLeave(int target) override;
    void Update(ISubject* subject, std::string event, uint32_t handlerId, uint32_t arg1,
                uint32_t arg2) override;

    // Starts the preview of the selection, or stops the one under way.
    void OnPlayButton();
    void OnZoomCommand(int command);
    // What Next would hand to the cut and the encoder now.
    orvanta::RingtoneSettings GatherSettings() const;
    // A selection typed into the fields (or set like one): exact to the millisecond.
    void OnSelectionTyped(int32_t startMs, int32_t endMs);
    // Starts the preview at `fromMs` and plays to the selection's end (a double-click).
    void PlayFrom(int32_t fromMs);
    // (start, end) in ms as the fields show them: the snapped ends when snapping.
    std::pair<int32_t, int32_t> ShownSelectionMs() const;

    WaveEditor* Editor() const { return m_editor; }
    orvanta::MediaPlayer& Player() { return m_player; }
    QMenu* ZoomMenu() const { return m_zoomMenu; }
    bool IsPlaying() const { return m_playing; }

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using Handler = void (EditPage::*)(ISubject*, uint32_t, uint32_t);

    void CreateControls();
    void SetTabOrder();
    void ArrangeControls();
    void FillLists();
    void SetControlTexts();
    void RegisterForPlayerEvents();
    void LoadPreview();
    void EnterPlaying();
    void BackToIdle();
    void ScrollTo(int position);
    void OnScrollAction(int action);
    void SyncScrollBar();
    void CreateFormatControls();
    bool CutAndEncode();
    bool MakeRingtoneFile(const orvanta::RingtoneSettings& settings,
                          const std::string& ringtonePath, int& cancelled) const;
    // Where Next writes the MP3: the designed path, or one the user chooses when the song's
    // folder takes no file; empty when the user would rather not go on.
    std::string RingtoneDestination(orvanta::RingtoneFormat format);
    bool FailConversion(const std::string& reason);

    // Loudness: the Normalize check box, the meter, the clip warning and the predicted size.
    void CreateLoudnessControls();
    void ArrangeLoudnessControls();
    void ArrangeLoudnessTexts();
    void OnNormalizeToggled(bool on);
    void RefreshLoudness();
    void OnMeterReading(const SelectionMeter::Reading& reading);
    void ShowLoudnessReading();
    void UpdatePredictedSize();

    void OnIgnoredEvent(ISubject*, uint32_t, uint32_t) {}
    void OnLoaded(ISubject*, uint32_t, uint32_t);
    void OnPlaybackEnded(ISubject*, uint32_t, uint32_t);
    void OnPositionChanged(ISubject*, uint32_t positionMs, uint32_t);
    void OnFadeOutPoint(ISubject*, uint32_t, uint32_t);
    void OnErrorAbort(ISubject*, uint32_t, uint32_t);

    void CreateSelectionControls();
    void ArrangeSelectionControls();
    void SetSelectionTexts();
    void OnSelectionEdited(bool finished);
    void ApplySnap();
    void ShowSelectionInFields();
    void ReplayAfterEdit();
    void StartPreview(int32_t startMs, int32_t endMs, int32_t fadeMs, bool fadeIn);
    void PlayNextPass();
    bool CutSelection(const orvanta::RingtoneSettings& settings, int& cancelled) const;

    orvanta::MediaPlayer m_player;
    QLabel* m_description;
    WaveEditor* m_editor;
    QScrollBar* m_scrollBar;
    QPushButton* m_play;
    QPushButton* m_zoom;
    QMenu* m_zoomMenu;
    QCheckBox* m_fadeIn;
    QCheckBox* m_fadeOut;
    QCheckBox* m_stereo;
    QComboBox* m_quality;
    QComboBox* m_amplify;
    QLabel* m_qualityLabel;
    QLabel* m_amplifyLabel;
    QComboBox* m_format;
    QLabel* m_formatLabel;
    bool m_playing = false;
    // The MP3 this job (this import) wrote last: making it again replaces it without asking.
    std::string m_writtenByThisJob;
    SelectionFields* m_selectionFields;
    QCheckBox* m_snap;
    QCheckBox* m_loop;
    // The preview under way plays its selection again at each end, until Stop.
    bool m_looping = false;

    QCheckBox* m_normalize = nullptr;
    QLabel* m_loudnessMeter = nullptr;
    QLabel* m_clipWarning = nullptr;
    QLabel* m_predictedSize = nullptr;
    SelectionMeter* m_meter = nullptr;
    std::optional<SelectionMeter::Reading> m_reading;
    std::pair<int32_t, int32_t> m_meteredSelection{0, -1};
    int m_fileGeneration = 0;
    // How far the page is beyond its designed size.
    QSize m_growth{0, 0};
};
