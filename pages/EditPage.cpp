#include "EditPage.h"

#include "CAttribMedia.h"
#include "ConversionEngine.h"
#include "DialogProgressSteps.h"
#include "EventHandlerTable.h"
#include "MainWizardWindow.h"
#include "MediaGraph.h"
#include "MessageBox.h"
#include "NormalizedRingtone.h"
#include "PageIndex.h"
#include "PredictedSize.h"
#include "StringTable.h"
#include "WavProcessor.h"
#include "WaveEditor.h"
#include "WaveHeader.h"
#include "WorkFiles.h"

#include <QAbstractSlider>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace {

// The page's arrangement in pixels: its dialog-unit layout at 1.5 px across and 1.625 px down.
// Controls grow to their text where a translation needs more room, never shrink.
constexpr QRect kDescriptionRect{10, 11, 651, 94};
constexpr int kEditorGap = 8;
constexpr int kEditorHeight = 168;
constexpr int kScrollBarHeight = 18;
constexpr QRect kPlayRect{10, 331, 57, 23};
constexpr int kZoomLeft = 85;
constexpr QRect kFadeInRect{162, 333, 82, 17};
constexpr int kFadeOutTop = 351;
constexpr int kStereoLeft = 250;
constexpr QRect kQualityRect{501, 331, 160, 22};
constexpr int kAmplifyTop = 355;
constexpr int kLabelRight = 491;
constexpr int kLabelMinWidth = 58;
constexpr int kControlGap = 6;

constexpr int kDefaultSelectionEndMs = 20000;
constexpr int kDefaultAmplifyIndex = 5;

// The quality items: text and MP3 sample rate.
constexpr struct {
    const char* textId;
    int sampleRate;
} kQualities[] = {
    {"idd_quality_high", 44100}, {"idd_quality_medium", 22050}, {"idd_quality_low", 11025}};

std::string Text(const char* identifier) {
    return StringTable::Instance().Lookup(identifier);
}

QString QText(const char* identifier) {
    return QString::fromStdString(Text(identifier));
}

EventHandlerTable<void (EditPage::*)(ISubject*, uint32_t, uint32_t)>& Handlers() {
    static EventHandlerTable<void (EditPage::*)(ISubject*, uint32_t, uint32_t)> table;
    return table;
}

// Places a control at its designed rectangle, as wide as its text needs if that is more.
void Place(QWidget* control, const QRect& designed) {
    control->setGeometry(designed.x(), designed.y(),
                         std::max(designed.width(), control->sizeHint().width()),
                         designed.height());
}

// A right-aligned label that ends where the designed one ends.
void PlaceRightAligned(QLabel* label, int top) {
    const int width = std::max(kLabelMinWidth, label->sizeHint().width());
    label->setGeometry(kLabelRight - width, top, width, label->sizeHint().height());
}

} // namespace

EditPage::EditPage(QWidget* parent) : WizardPage(parent) {
    m_player.Init(this, 0);
    RegisterForPlayerEvents();
    CreateControls();
    FillLists();
    SetControlTexts();
    ArrangeControls();
    CreateLoudnessControls();
    ArrangeLoudnessControls();
}

EditPage::~EditPage() {
    m_player.ReleaseGraph();
}

void EditPage::CreateControls() {
    m_description = new QLabel(this);
    m_description->setObjectName("description");
    m_description->setTextFormat(Qt::PlainText);
    m_description->setWordWrap(true);
    m_description->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_editor = new WaveEditor(this);
    m_editor->setObjectName("waveEditor");
    m_scrollBar = new QScrollBar(Qt::Horizontal, this);
    m_scrollBar->setObjectName("scrollBar");
    m_scrollBar->setRange(0, 0);
    m_scrollBar->setPageStep(0);
    connect(m_scrollBar, &QScrollBar::actionTriggered, this, &EditPage::OnScrollAction);
    connect(m_scrollBar, &QScrollBar::valueChanged, this, &EditPage::ScrollTo);
    m_play = new QPushButton(this);
    m_play->setObjectName("play");
    connect(m_play, &QPushButton::clicked, this, &EditPage::OnPlayButton);
    m_zoom = new QPushButton(this);
    m_zoom->setObjectName("zoom");
    m_zoomMenu = new QMenu(this);
    for (const int command : {kZoomIn, kZoomOut, kZoomFit}) {
        if (command == kZoomFit) {
            m_zoomMenu->addSeparator();
        }
        QAction* action = m_zoomMenu->addAction(QString());
        action->setData(command);
        connect(action, &QAction::triggered, this, [this, command] { OnZoomCommand(command); });
    }
    // The captions follow the language each time the menu opens, as a frame's menus do.
    connect(m_zoomMenu, &QMenu::aboutToShow, this, [this] {
        const char* const ids[] = {"idc_zoom_in", "idc_zoom_out", "idc_zoom_fit"};
        int next = 0;
        for (QAction* action : m_zoomMenu->actions()) {
            if (!action->isSeparator()) {
                action->setText(QText(ids[next++]));
            }
        }
    });
    connect(m_zoom, &QPushButton::clicked, this, [this] { m_zoomMenu->popup(QCursor::pos()); });
    m_fadeIn = new QCheckBox(this);
    m_fadeIn->setObjectName("fadeIn");
    m_fadeOut = new QCheckBox(this);
    m_fadeOut->setObjectName("fadeOut");
    m_stereo = new QCheckBox(this);
    m_stereo->setObjectName("stereo");
    m_quality = new QComboBox(this);
    m_quality->setObjectName("quality");
    m_amplify = new QComboBox(this);
    m_amplify->setObjectName("amplify");
    connect(m_amplify, &QComboBox::currentIndexChanged, this, [this] {
        m_editor->SetGain(static_cast<float>(m_amplify->currentData().toInt()) * 0.01f);
    });
    m_qualityLabel = new QLabel(this);
    m_qualityLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_amplifyLabel = new QLabel(this);
    m_amplifyLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_qualityLabel->setBuddy(m_quality);
    m_amplifyLabel->setBuddy(m_amplify);
}

void EditPage::FillLists() {
    for (const auto& quality : kQualities) {
        m_quality->addItem(QText(quality.textId), quality.sampleRate);
    }
    m_quality->setCurrentIndex(0);
    for (int percent = 50; percent <= 150; percent += 10) {
        m_amplify->addItem(QString::number(percent) + "%", percent);
    }
    m_amplify->setCurrentIndex(kDefaultAmplifyIndex);
}

void EditPage::SetControlTexts() {
    m_play->setText(QText("idc_play"));
    m_zoom->setText(QText("idc_zoom"));
    m_fadeIn->setText(QText("idd_fade_in"));
    m_fadeIn->setChecked(true);
    m_fadeOut->setText(QText("idd_fade_out"));
    m_fadeOut->setChecked(true);
    m_stereo->setText(QText("idd_stereo"));
    m_stereo->setChecked(false);
    m_qualityLabel->setText(QText("idd_quality"));
    m_amplifyLabel->setText(QText("idd_amplify"));
    m_play->setAccessibleName(QText("idc_play"));
    m_zoom->setAccessibleName(m_zoom->text());
    m_fadeIn->setAccessibleName(m_fadeIn->text());
    m_fadeOut->setAccessibleName(m_fadeOut->text());
    m_stereo->setAccessibleName(m_stereo->text());
    m_quality->setAccessibleName(m_qualityLabel->text());
    m_amplify->setAccessibleName(m_amplifyLabel->text());
    m_editor->setAccessibleName(QText("idd_editing"));
    m_scrollBar->setAccessibleName(QText("idd_editing"));
}

void EditPage::ArrangeControls() {
    m_description->setGeometry(kDescriptionRect);
    const int editorTop = kDescriptionRect.bottom() + 1 + kEditorGap;
    m_editor->setGeometry(kDescriptionRect.x(), editorTop, kDescriptionRect.width(), kEditorHeight);
    m_scrollBar->setGeometry(kDescriptionRect.x(), editorTop + kEditorHeight,
                             kDescriptionRect.width(), kScrollBarHeight);
    // The play button carries "Play" and "Stop" in turn: wide enough for either.
    const QFontMetrics metrics = m_play->fontMetrics();
    const int stopExtra = std::max(0, metrics.horizontalAdvance(QText("idc_stop")) -
                                          metrics.horizontalAdvance(m_play->text()));
    m_play->setGeometry(kPlayRect.x(), kPlayRect.y(),
                        std::max(kPlayRect.width(), m_play->sizeHint().width() + stopExtra),
                        kPlayRect.height());
    const int zoomLeft = std::max(kZoomLeft, m_play->geometry().right() + kControlGap);
    Place(m_zoom, {zoomLeft, kPlayRect.y(), kPlayRect.width(), kPlayRect.height()});
    const int fadeLeft = std::max(kFadeInRect.x(), m_zoom->geometry().right() + kControlGap);
    Place(m_fadeIn, {fadeLeft, kFadeInRect.y(), kFadeInRect.width(), kFadeInRect.height()});
    Place(m_fadeOut, {fadeLeft, kFadeOutTop, kFadeInRect.width(), kFadeInRect.height()});
    const int stereoLeft = std::max({kStereoLeft, m_fadeIn->geometry().right() + kControlGap,
                                     m_fadeOut->geometry().right() + kControlGap});
    Place(m_stereo, {stereoLeft, kFadeInRect.y(), kFadeInRect.width(), kFadeInRect.height()});
    m_quality->setGeometry(kQualityRect);
    m_amplify->setGeometry(kQualityRect.x(), kAmplifyTop - 2, kQualityRect.width(),
                           kQualityRect.height());
    PlaceRightAligned(m_qualityLabel, kQualityRect.y() + 4);
    PlaceRightAligned(m_amplifyLabel, kAmplifyTop + 2);
}

void EditPage::RegisterForPlayerEvents() {
    EventHandlerTable<Handler>& table = Handlers();
    const struct {
        const char* event;
        Handler handler;
    } registrations[] = {
        {"Loading", &EditPage::OnIgnoredEvent},
        {"Loaded", &EditPage::OnLoaded},
        {"Playing", &EditPage::OnIgnoredEvent},
        {"Paused", &EditPage::OnIgnoredEvent},
        {"Stopped", &EditPage::OnPlaybackEnded},
        {"Completed", &EditPage::OnPlaybackEnded},
        {"PositionChanged", &EditPage::OnPositionChanged},
        {"FadeOutPoint", &EditPage::OnFadeOutPoint},
        {"FadingIn", &EditPage::OnIgnoredEvent},
        {"FadingOut", &EditPage::OnIgnoredEvent},
        {"FadingStart", &EditPage::OnIgnoredEvent},
        {"FadingEnd", &EditPage::OnIgnoredEvent},
    };
    for (const auto& registration : registrations) {
        m_player.AddObserver(this, registration.event, table.Register(registration.handler));
    }
}

void EditPage::Update(ISubject* subject, std::string /*event*/, uint32_t handlerId, uint32_t arg1,
                      uint32_t arg2) {
    if (handlerId == static_cast<uint32_t>(-1)) {
        return;
    }
    if (const Handler* handler = Handlers().Find(handlerId)) {
        (this->*(*handler))(subject, arg1, arg2);
    }
}

bool EditPage::event(QEvent* event) {
    if (event->type() == orvanta::MediaGraph::NotifyEventType()) {
        m_player.HandleGraphEvents();
        return true;
    }
    return WizardPage::event(event);
}

void EditPage::OnActivate(int previous) {
    if (qobject_cast<MainWizardWindow*>(window()) != nullptr) {
        SetWizardButtonText(1, Text("idd_select_source_file"));
        SetWizardButtonText(0, Text("idd_generate_ringtone_file"));
        ShowWizardButton(1, true);
        ShowWizardButton(0, true);
        m_description->setText(QText("idd_editing_description"));
        m_description->setAccessibleName(m_description->text());
    }
    if (previous == kImportPageIndex) {
        const orvanta::WorkFiles& files = orvanta::CurrentWorkFiles();
        m_editor->Load(files.workingWavPath, files.peakFilePath);
        m_editor->SetSelection(0, kDefaultSelectionEndMs);
        SyncScrollBar();
        ++m_fileGeneration;
    }
    LoadPreview();
    RefreshLoudness();
}

void EditPage::LoadPreview() {
    orvanta::CAttribMedia media(orvanta::CurrentWorkFiles().workingWavPath);
    if (m_player.Load(&media) == 0) {
        ShowMessage(this, Text("ide_failed_load_media"), MessageButtons::Ok);
    }
}

void EditPage::OnPlayButton() {
    if (m_playing) {
        m_player.Stop();
        BackToIdle();
        return;
    }
    const auto [lower, upper] = m_editor->GetSelectionInSeconds();
    const auto startMs = static_cast<int32_t>(lower * 1000.0f);
    const auto endMs = static_cast<int32_t>(upper * 1000.0f);
    m_editor->SetPlayCursor(startMs);
    m_player.SetPositions(startMs, endMs);
    m_player.SetFadeDuration(orvanta::FadeLengthForSelection(endMs - startMs));
    m_player.PlayWithFade(m_fadeIn->isChecked());
    EnterPlaying();
}

void EditPage::EnterPlaying() {
    m_editor->setEnabled(false);
    m_play->setText(QText("idc_stop"));
    m_play->setAccessibleName(m_play->text());
    m_playing = true;
}

void EditPage::BackToIdle() {
    m_editor->ResetPlayCursor();
    m_editor->setEnabled(true);
    m_play->setText(QText("idc_play"));
    m_play->setAccessibleName(m_play->text());
    m_playing = false;
}

void EditPage::OnLoaded(ISubject*, uint32_t, uint32_t) {
    m_player.SetVolume(100);
}

void EditPage::OnPlaybackEnded(ISubject*, uint32_t, uint32_t) {
    BackToIdle();
    m_editor->SetPlayCursor(-1);
}

void EditPage::OnPositionChanged(ISubject*, uint32_t positionMs, uint32_t) {
    m_editor->SetPlayCursor(static_cast<int32_t>(positionMs));
}

void EditPage::OnFadeOutPoint(ISubject*, uint32_t, uint32_t) {
    m_player.FadeOut(m_fadeOut->isChecked());
}

void EditPage::OnZoomCommand(int command) {
    switch (command) {
    case kZoomIn:
        m_editor->ZoomIn();
        break;
    case kZoomOut:
        m_editor->ZoomOut();
        break;
    case kZoomFit:
        m_editor->ZoomToFit();
        break;
    default:
        return;
    }
    SyncScrollBar();
}

void EditPage::SyncScrollBar() {
    // The editor keeps its view in range across a zoom; the thumb follows the view, so the two
    // never disagree.
    const auto [minimum, maximum] = m_editor->GetScrollRange();
    const QSignalBlocker quiet(m_scrollBar);
    m_scrollBar->setRange(minimum, maximum);
    m_scrollBar->setValue(m_editor->ScrollPosition());
}

void EditPage::OnScrollAction(int action) {
    const int minimum = m_scrollBar->minimum();
    const int maximum = m_scrollBar->maximum();
    const int position = m_scrollBar->value();
    const int page = (maximum - minimum) / 10;
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        m_scrollBar->setSliderPosition(position > minimum ? position - 1 : position);
        break;
    case QAbstractSlider::SliderSingleStepAdd:
        m_scrollBar->setSliderPosition(position < maximum ? position + 1 : position);
        break;
    case QAbstractSlider::SliderPageStepSub:
        m_scrollBar->setSliderPosition(std::max(minimum, position - page));
        break;
    case QAbstractSlider::SliderPageStepAdd:
        m_scrollBar->setSliderPosition(std::min(maximum, position + page));
        break;
    default:
        break;
    }
}

void EditPage::ScrollTo(int position) {
    m_editor->SetScroll(position);
}

orvanta::RingtoneSettings EditPage::GatherSettings() const {
    const auto [lower, upper] = m_editor->GetSelectionInSeconds();
    orvanta::RingtoneSettings settings;
    settings.startMs = static_cast<int32_t>(static_cast<long double>(lower) * 1000.0L);
    settings.endMs = static_cast<int32_t>(static_cast<long double>(upper) * 1000.0L);
    settings.fadeMs = orvanta::FadeLengthForSelection(settings.endMs - settings.startMs);
    settings.amplify = static_cast<float>(m_amplify->currentData().toInt()) * 0.01f;
    settings.stereo = m_stereo->isChecked();
    settings.outSampleRate = m_quality->currentData().toInt();
    return settings;
}

bool EditPage::CanLeave(int target) {
    m_player.Stop();
    m_player.ReleaseGraph();
    BackToIdle();
    if (target == kImportPageIndex) {
        return true;
    }
    const bool done = target == kSavePageIndex && CutAndEncode();
    if (!done) {
        // The page stays: the preview keeps working, where the player would otherwise stay
        // released until the page is entered again.
        LoadPreview();
    }
    return done;
}

bool EditPage::CutAndEncode() {
    if (m_normalize->isChecked()) {
        return CutAndEncodeNormalized();
    }
    const orvanta::RingtoneSettings settings = GatherSettings();
    const orvanta::WorkFiles& files = orvanta::CurrentWorkFiles();
    const ProgressWindowScope progressWindow;
    int cancelled = 0;
    if (!orvanta::WavProcessor().CutRingtone(files.workingWavPath, files.ringtoneWavPath,
                                             settings.startMs, settings.endMs, settings.fadeMs,
                                             settings.amplify, cancelled)) {
        return FailConversion();
    }
    if (cancelled != 0) {
        return false;
    }
    orvanta::ConversionEngine engine;
    if (!engine.Open()) {
        return FailConversion();
    }
    if (!engine.EncodeToMp3(files.ringtoneWavPath, files.ringtoneMp3Path, cancelled,
                            settings.stereo, settings.outSampleRate)) {
        return FailConversion();
    }
    engine.Close();
    return cancelled == 0;
}

bool EditPage::FailConversion() {
    // The message must be answerable: no progress window may stay up over it.
    CloseProgressWindow();
    ShowMessage(this, Text("ide_internal_engine_failed"), MessageButtons::Ok);
    return false;
}

namespace {

// The loudness row fills the gap between the scroll bar and the play button's row; the clip
// warning stands right above the waveform whose red columns it explains.
constexpr QRect kNormalizeRect{10, 304, 140, 20};
constexpr int kLoudnessTextRight = 491;
constexpr QRect kClipWarningRect{10, 88, 651, 20};
constexpr const char* kNormalizeSettingsKey = "ringtone/normalize_loudness";
constexpr double kPercent = 100.0;

// A figure as the meter shows it: one decimal, a real minus sign, "−inf" for no loudness.
QString Decibels(double value) {
    if (!std::isfinite(value)) {
        return QString::fromUtf8("\u2212inf");
    }
    return QString::number(value, 'f', 1).replace('-', QChar(0x2212));
}

// A looked-up text with its "{1}", "{2}", ... filled in.
QString Filled(const char* identifier, const QStringList& values) {
    QString text = QText(identifier);
    for (int i = 0; i < values.size(); ++i) {
        text.replace(QString("{%1}").arg(i + 1), values[i]);
    }
    return text;
}

} // namespace

void EditPage::CreateLoudnessControls() {
    m_normalize = new QCheckBox(QText("idd_normalize_loudness"), this);
    m_normalize->setObjectName("normalize");
    m_normalize->setAccessibleName(m_normalize->text());
    m_normalize->setChecked(QSettings().value(kNormalizeSettingsKey, false).toBool());
    m_loudnessMeter = new QLabel(this);
    m_loudnessMeter->setObjectName("loudnessMeter");
    m_loudnessMeter->setTextFormat(Qt::PlainText);
    m_loudnessMeter->setAccessibleName(QText("idd_normalize_loudness"));
    m_clipWarning = new QLabel(this);
    m_clipWarning->setObjectName("clipWarning");
    m_clipWarning->setTextFormat(Qt::PlainText);
    m_clipWarning->setStyleSheet("color: rgb(200, 0, 0);");
    m_clipWarning->setAccessibleName(QText("idd_amplify"));
    m_clipWarning->hide();
    m_predictedSize = new QLabel(this);
    m_predictedSize->setObjectName("predictedSize");
    m_predictedSize->setTextFormat(Qt::PlainText);
    m_predictedSize->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_predictedSize->setAccessibleName(QText("idd_quality"));
    m_meter = new SelectionMeter(this);
    connect(m_meter, &SelectionMeter::Measured, this, &EditPage::OnMeterReading);
    connect(m_normalize, &QCheckBox::toggled, this, &EditPage::OnNormalizeToggled);
    connect(m_amplify, &QComboBox::currentIndexChanged, this, &EditPage::RefreshLoudness);
    connect(m_quality, &QComboBox::currentIndexChanged, this, &EditPage::UpdatePredictedSize);
    connect(m_stereo, &QCheckBox::toggled, this, &EditPage::UpdatePredictedSize);
    m_editor->installEventFilter(this);
    OnNormalizeToggled(m_normalize->isChecked());
}

void EditPage::ArrangeLoudnessControls() {
    Place(m_normalize, kNormalizeRect);
    const int left = m_normalize->geometry().right() + 1 + kControlGap * 2;
    m_loudnessMeter->setGeometry(left, kNormalizeRect.y(), kLoudnessTextRight - left,
                                 kNormalizeRect.height());
    m_clipWarning->setGeometry(kClipWarningRect);
    m_clipWarning->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_predictedSize->setGeometry(kQualityRect.x(), kNormalizeRect.y(), kQualityRect.width(),
                                 kNormalizeRect.height());
}

void EditPage::OnNormalizeToggled(bool on) {
    QSettings().setValue(kNormalizeSettingsKey, on);
    m_amplify->setEnabled(!on);
    // The limiter keeps a normalised ringtone from clipping: the waveform shows the plain level.
    m_editor->SetGain(on ? 1.0f : static_cast<float>(m_amplify->currentData().toInt()) * 0.01f);
    RefreshLoudness();
}

bool EditPage::eventFilter(QObject* watched, QEvent* event) {
    const bool mayMoveSelection = event->type() == QEvent::MouseButtonRelease ||
                                  event->type() == QEvent::KeyRelease ||
                                  event->type() == QEvent::Wheel ||
                                  (event->type() == QEvent::MouseMove &&
                                   static_cast<QMouseEvent*>(event)->buttons() != Qt::NoButton);
    if (watched == m_editor && mayMoveSelection) {
        // After the editor has handled the event, so the selection read is the new one.
        QTimer::singleShot(0, this, [this] {
            const auto [lower, upper] = m_editor->GetSelectionInSeconds();
            const std::pair selection{static_cast<int32_t>(lower * 1000.0f),
                                      static_cast<int32_t>(upper * 1000.0f)};
            if (selection != m_meteredSelection) {
                RefreshLoudness();
            }
        });
    }
    return WizardPage::eventFilter(watched, event);
}

void EditPage::RefreshLoudness() {
    UpdatePredictedSize();
    const std::string& wavPath = orvanta::CurrentWorkFiles().workingWavPath;
    const auto [lower, upper] = m_editor->GetSelectionInSeconds();
    m_meteredSelection = {static_cast<int32_t>(lower * 1000.0f),
                          static_cast<int32_t>(upper * 1000.0f)};
    if (wavPath.empty() || m_meteredSelection.second <= m_meteredSelection.first) {
        return;
    }
    if (!m_reading) {
        m_loudnessMeter->setText(QText("idd_loudness_measuring"));
    }
    SelectionMeter::Request request;
    request.wavPath = wavPath;
    request.fileGeneration = m_fileGeneration;
    request.startMs = m_meteredSelection.first;
    request.endMs = m_meteredSelection.second;
    request.amplify = m_normalize->isChecked()
                          ? 1.0f
                          : static_cast<float>(m_amplify->currentData().toInt()) * 0.01f;
    m_meter->Measure(request);
}

void EditPage::OnMeterReading(const SelectionMeter::Reading& reading) {
    m_reading = reading;
    ShowLoudnessReading();
}

void EditPage::ShowLoudnessReading() {
    const orvanta::LoudnessFigures& before = m_reading->figures;
    if (!m_reading->ok) {
        m_loudnessMeter->clear();
    } else if (!before.Measurable()) {
        m_loudnessMeter->setText(QText("idd_loudness_unmeasurable"));
    } else {
        const orvanta::NormalizeTarget target;
        const bool normalize = m_normalize->isChecked();
        const double gainDb = normalize ? orvanta::NormalizeGainDb(before, target)
                                        : orvanta::ToDecibels(m_reading->request.amplify);
        const double peakAfter = normalize
                                     ? std::min(before.truePeakDbtp + gainDb, target.ceilingDbtp)
                                     : before.truePeakDbtp + gainDb;
        m_loudnessMeter->setText(Filled(
            "idd_loudness_meter", {Decibels(before.integratedLufs), Decibels(before.truePeakDbtp),
                                   Decibels(before.integratedLufs + gainDb), Decibels(peakAfter)}));
    }
    const double clippedPercent = m_reading->clippedShare * kPercent;
    m_clipWarning->setVisible(m_reading->ok && clippedPercent > 0.0);
    m_clipWarning->setText(
        Filled("idd_clip_warning",
               {QString::number(clippedPercent, 'f', clippedPercent < 1 ? 2 : 1) + " %"}));
}

void EditPage::UpdatePredictedSize() {
    const orvanta::RingtoneSettings settings = GatherSettings();
    orvanta::FilePtr file;
    orvanta::WaveHeaderFields header;
    uint64_t length = 0;
    if (settings.endMs <= settings.startMs ||
        !orvanta::OpenWorkingWav(orvanta::CurrentWorkFiles().workingWavPath, file, header,
                                 length)) {
        m_predictedSize->clear();
        return;
    }
    const uint64_t frames =
        static_cast<uint64_t>(settings.endMs - settings.startMs) * header.sampleRate / 1000;
    const uint64_t bytes = orvanta::PredictedMp3Bytes(frames, header.sampleRate, header.channels,
                                                      settings.stereo, settings.outSampleRate);
    m_predictedSize->setText(Filled("idd_predicted_size", {QString::number((bytes + 512) / 1024)}));
}

bool EditPage::CutAndEncodeNormalized() {
    const orvanta::RingtoneSettings settings = GatherSettings();
    const orvanta::WorkFiles& files = orvanta::CurrentWorkFiles();
    const ProgressWindowScope progressWindow;
    int cancelled = 0;
    orvanta::NormalizeResult result;
    if (!orvanta::MakeNormalizedRingtone(files.workingWavPath, files.ringtoneWavPath,
                                         files.ringtoneMp3Path, settings,
                                         orvanta::NormalizeTarget{}, cancelled, result)) {
        return FailConversion();
    }
    return cancelled == 0;
}
