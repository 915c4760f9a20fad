#include "EditPage.h"

#include "AppProfile.h"
#include "CAttribMedia.h"
#include "DialogProgressSteps.h"
#include "EventHandlerTable.h"
#include "GstRingtoneEncoder.h"
#include "MainWizardWindow.h"
#include "MediaGraph.h"
#include "MessageBox.h"
#include "PageIndex.h"
#include "StringTable.h"
#include "WavProcessor.h"
#include "WaveEditor.h"
#include "WorkFiles.h"

#include <QAbstractSlider>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardItemModel>
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
// The format sits above the quality, between it and the scroll bar.
constexpr int kFormatTop = 305;
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

// The format items: text and format. The choice is kept in the settings by its command-line word.
constexpr struct {
    const char* textId;
    orvanta::RingtoneFormat format;
} kFormats[] = {{"idd_format_mp3", orvanta::RingtoneFormat::Mp3},
                {"idd_format_m4r", orvanta::RingtoneFormat::M4r},
                {"idd_format_ogg", orvanta::RingtoneFormat::Ogg}};
constexpr const char* kFormatKey = "ringtone_format";

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
    CreateFormatControls();
}

void EditPage::CreateFormatControls() {
    m_format = new QComboBox(this);
    m_format->setObjectName("format");
    m_formatLabel = new QLabel(this);
    m_formatLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_formatLabel->setBuddy(m_format);
    const std::optional<orvanta::RingtoneFormat> remembered = orvanta::ParseRingtoneFormat(
        AppProfile::GetString(AppProfile::kSettingsSection, kFormatKey, "mp3"));
    for (const auto& format : kFormats) {
        m_format->addItem(QText(format.textId), static_cast<int>(format.format));
        // A format whose GStreamer elements are missing stays in the list, greyed, saying why.
        const orvanta::MissingElements missing = orvanta::FindMissingElements(format.format);
        if (!missing.Empty()) {
            auto* model = qobject_cast<QStandardItemModel*>(m_format->model());
            model->item(m_format->count() - 1)->setEnabled(false);
            m_format->setItemData(m_format->count() - 1,
                                  QString::fromStdString(orvanta::DescribeMissingElements(
                                      missing, Text("ide_format_missing_plugin"))),
                                  Qt::ToolTipRole);
        } else if (remembered == format.format) {
            m_format->setCurrentIndex(m_format->count() - 1);
        }
    }
    connect(m_format, &QComboBox::currentIndexChanged, this, [this] {
        AppProfile::WriteString(AppProfile::kSettingsSection, kFormatKey,
                                orvanta::RingtoneFormatName(static_cast<orvanta::RingtoneFormat>(
                                    m_format->currentData().toInt())));
    });
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
    m_formatLabel->setText(QText("idd_format"));
    m_play->setAccessibleName(QText("idc_play"));
    m_zoom->setAccessibleName(m_zoom->text());
    m_fadeIn->setAccessibleName(m_fadeIn->text());
    m_fadeOut->setAccessibleName(m_fadeOut->text());
    m_stereo->setAccessibleName(m_stereo->text());
    m_quality->setAccessibleName(m_qualityLabel->text());
    m_amplify->setAccessibleName(m_amplifyLabel->text());
    m_format->setAccessibleName(m_formatLabel->text());
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
    m_format->setGeometry(kQualityRect.x(), kFormatTop, kQualityRect.width(),
                          kQualityRect.height());
    PlaceRightAligned(m_formatLabel, kFormatTop + 4);
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
    }
    LoadPreview();
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
    settings.format = static_cast<orvanta::RingtoneFormat>(m_format->currentData().toInt());
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
    const orvanta::RingtoneSettings settings = GatherSettings();
    if (!orvanta::SelectionFitsFormat(settings.format, settings.endMs - settings.startMs)) {
        ShowMessage(this, Text("ide_m4r_too_long"), MessageButtons::Ok);
        return false;
    }
    orvanta::WorkFiles& files = orvanta::CurrentWorkFiles();
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
    if (!orvanta::EncodeRingtone({files.ringtoneWavPath,
                                  orvanta::RingtonePathFor(files.ringtoneMp3Path, settings.format),
                                  settings.format, settings.stereo, settings.outSampleRate,
                                  orvanta::RingtoneTitle(files.sourcePath)},
                                 cancelled)) {
        return FailConversion();
    }
    if (cancelled == 0) {
        files.ringtoneFormat = settings.format;
    }
    return cancelled == 0;
}

bool EditPage::FailConversion() {
    // The message must be answerable: no progress window may stay up over it.
    CloseProgressWindow();
    ShowMessage(this, Text("ide_internal_engine_failed"), MessageButtons::Ok);
    return false;
}
