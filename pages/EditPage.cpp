#include "EditPage.h"

#include "AppProfile.h"
#include "CAttribMedia.h"
#include "ControlText.h"
#include "DialogProgressSteps.h"
#include "EngineReason.h"
#include "EventHandlerTable.h"
#include "GstRingtoneEncoder.h"
#include "MainWizardWindow.h"
#include "MediaGraph.h"
#include "MessageBox.h"
#include "NormalizedRingtone.h"
#include "PageIndex.h"
#include "PredictedSize.h"
#include "SelectionFields.h"
#include "StringTable.h"
#include "WavProcessor.h"
#include "WaveEditor.h"
#include "WaveHeader.h"
#include "WorkFiles.h"

#include <QAbstractSlider>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSettings>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <sys/stat.h>
#include <vector>

namespace {

// The page's arrangement in pixels: its dialog-unit layout at 1.5 px across and 1.625 px down.
// Controls grow to their text where a translation needs more room, never shrink.
constexpr QRect kDescriptionRect{10, 11, 651, 94};
constexpr int kEditorGap = 8;
// 22 pixels less than the designed 168, so a row for the format and the length hint fits
// between the scroll bar and the loudness row.
constexpr int kEditorHeight = 146;
constexpr int kScrollBarHeight = 18;
constexpr QRect kPlayRect{10, 331, 57, 23};
constexpr int kZoomLeft = 85;
constexpr QRect kFadeInRect{162, 333, 82, 17};
constexpr int kFadeOutTop = 351;
constexpr int kStereoLeft = 250;
constexpr QRect kQualityRect{501, 331, 160, 22};
constexpr int kAmplifyTop = 355;
// The format sits in the right column of the row right under the scroll bar, the length hint
// on its left.
constexpr int kFormatTop = 279;
constexpr int kLabelRight = 491;
constexpr int kLabelMinWidth = 58;
constexpr int kControlGap = 6;

constexpr int kDefaultSelectionEndMs = 20000;
constexpr int kSelectionFieldsHeight = 34;
constexpr int kOptionsRowTop = 374;
constexpr int kHintGap = 4;
constexpr int kHintHeight = 18;
constexpr const char* kSnapSetting = "Settings/SnapToZeroCrossings";
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

// A control's caption, with its shortcut mark.
QString Caption(const char* identifier) {
    return ControlText(Text(identifier));
}

// A control's name for a screen reader: its caption without the mark.
QString Name(const char* identifier) {
    return PlainText(Text(identifier));
}

EventHandlerTable<void (EditPage::*)(ISubject*, uint32_t, uint32_t)>& Handlers() {
    static EventHandlerTable<void (EditPage::*)(ISubject*, uint32_t, uint32_t)> table;
    return table;
}

// The designed file name in the user's music folder (the home folder when there is none).
std::string InMusicFolder(const std::string& path) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (folder.isEmpty()) {
        folder = QDir::homePath();
    }
    return QDir(folder).filePath(QFileInfo(QString::fromStdString(path)).fileName()).toStdString();
}

// Only a regular file can be replaced; anything else at the name makes the encoder refuse.
bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
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

// How a control follows the page beyond its designed size: the waveform takes all the growth,
// what lies below it moves down, the right column moves right, the rows across grow wider.
enum class Anchor { Widen, Fill, DownWiden, Down, DownRight };

QRect Grown(QRect designed, Anchor anchor, QSize growth) {
    const bool down = anchor != Anchor::Widen && anchor != Anchor::Fill;
    const bool widen = anchor != Anchor::Down && anchor != Anchor::DownRight;
    designed.translate(anchor == Anchor::DownRight ? growth.width() : 0,
                       down ? growth.height() : 0);
    designed.setWidth(designed.width() + (widen ? growth.width() : 0));
    designed.setHeight(designed.height() + (anchor == Anchor::Fill ? growth.height() : 0));
    return designed;
}

} // namespace

EditPage::EditPage(QWidget* parent) : WizardPage(parent) {
    m_player.Init(this, 0);
    RegisterForPlayerEvents();
    CreateControls();
    FillLists();
    SetControlTexts();
    ArrangeControls();
    CreateSelectionControls();
    CreateLoudnessControls();
    ArrangeLoudnessControls();
    SetTabOrder();
}

EditPage::~EditPage() {
    m_looping = false; // the last "Stopped" must not queue another pass
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
    // The scroll bar moves the view by keyboard too (arrows, Page Up and Down).
    m_scrollBar->setFocusPolicy(Qt::StrongFocus);
    connect(m_scrollBar, &QScrollBar::actionTriggered, this, &EditPage::OnScrollAction);
    connect(m_scrollBar, &QScrollBar::valueChanged, this, &EditPage::ScrollTo);
    m_play = new QPushButton(this);
    m_play->setObjectName("play");
    connect(m_play, &QPushButton::clicked, this, &EditPage::OnPlayButton);
    m_zoom = new QPushButton(this);
    m_zoom->setObjectName("zoom");
    m_zoomMenu = new QMenu(this);
    for (const int command : {kZoomIn, kZoomOut, kZoomFit, kZoomSelection}) {
        if (command == kZoomFit) {
            m_zoomMenu->addSeparator();
        }
        QAction* action = m_zoomMenu->addAction(QString());
        action->setData(command);
        connect(action, &QAction::triggered, this, [this, command] { OnZoomCommand(command); });
    }
    // The captions follow the language each time the menu opens, as a frame's menus do.
    connect(m_zoomMenu, &QMenu::aboutToShow, this, [this] {
        const char* const ids[] = {"idc_zoom_in", "idc_zoom_out", "idc_zoom_fit",
                                   "idc_zoom_selection"};
        int next = 0;
        for (QAction* action : m_zoomMenu->actions()) {
            if (!action->isSeparator()) {
                action->setText(Caption(ids[next++]));
            }
        }
    });
    // Under its button, as a drop-down menu opens, also when the keyboard pressed the button.
    connect(m_zoom, &QPushButton::clicked, this,
            [this] { m_zoomMenu->popup(m_zoom->mapToGlobal(QPoint(0, m_zoom->height()))); });
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
    m_play->setText(Caption("idc_play"));
    m_zoom->setText(Caption("idc_zoom"));
    m_fadeIn->setText(Caption("idd_fade_in"));
    m_fadeIn->setChecked(true);
    m_fadeOut->setText(Caption("idd_fade_out"));
    m_fadeOut->setChecked(true);
    m_stereo->setText(Caption("idd_stereo"));
    m_stereo->setChecked(false);
    m_qualityLabel->setText(Caption("idd_quality"));
    m_amplifyLabel->setText(Caption("idd_amplify"));
    m_formatLabel->setText(Caption("idd_format"));
    m_play->setAccessibleName(Name("idc_play"));
    m_zoom->setAccessibleName(Name("idc_zoom"));
    m_fadeIn->setAccessibleName(Name("idd_fade_in"));
    m_fadeOut->setAccessibleName(Name("idd_fade_out"));
    m_stereo->setAccessibleName(Name("idd_stereo"));
    m_quality->setAccessibleName(Name("idd_quality"));
    m_amplify->setAccessibleName(Name("idd_amplify"));
    m_format->setAccessibleName(Name("idd_format"));
    m_editor->setAccessibleName(Name("idd_waveform"));
    m_scrollBar->setAccessibleName(Name("idd_waveform_position"));
}

void EditPage::ArrangeControls() {
    m_description->setGeometry(kDescriptionRect);
    const int editorTop = kDescriptionRect.bottom() + 1 + kEditorGap;
    m_editor->setGeometry(kDescriptionRect.x(), editorTop, kDescriptionRect.width(), kEditorHeight);
    m_scrollBar->setGeometry(kDescriptionRect.x(), editorTop + kEditorHeight,
                             kDescriptionRect.width(), kScrollBarHeight);
    // The play button carries "Play" and "Stop" in turn: wide enough for either.
    const QFontMetrics metrics = m_play->fontMetrics();
    const int stopExtra = std::max(0, metrics.horizontalAdvance(Name("idc_stop")) -
                                          metrics.horizontalAdvance(Name("idc_play")));
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
        {"ErrorAbort", &EditPage::OnErrorAbort},
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
        m_writtenByThisJob.clear();
        const orvanta::WorkFiles& files = orvanta::CurrentWorkFiles();
        m_editor->Load(files.workingWavPath, files.peakFilePath);
        m_editor->SetSelection(0, kDefaultSelectionEndMs);
        SyncScrollBar();
        m_selectionFields->SetSongLength(m_editor->Model().DurationMs());
        ApplySnap();
        ShowSelectionInFields();
        ++m_fileGeneration;
    }
    LoadPreview();
    RefreshLoudness();
}

void EditPage::LoadPreview() {
    orvanta::CAttribMedia media(orvanta::CurrentWorkFiles().workingWavPath);
    if (m_player.Load(&media) == 0) {
        ShowMessage(this, Message{Text("ide_failed_load_media"), MessageKind::Warning});
    }
}

void EditPage::OnPlayButton() {
    if (m_playing) {
        m_looping = false;
        m_player.Stop();
        BackToIdle();
        return;
    }
    const auto [lower, upper] = m_editor->GetSelectionInSeconds();
    auto startMs = static_cast<int32_t>(lower * 1000.0f);
    auto endMs = static_cast<int32_t>(upper * 1000.0f);
    if (m_editor->Model().ExactSelectionMs()) {
        std::tie(startMs, endMs) = ShownSelectionMs();
    }
    m_looping = m_loop->isChecked();
    // A loop plays each pass with the fades the file gets, whatever the preview's boxes say.
    StartPreview(startMs, endMs, orvanta::FadeLengthForSelection(endMs - startMs),
                 m_looping || m_fadeIn->isChecked());
}

void EditPage::StartPreview(int32_t startMs, int32_t endMs, int32_t fadeMs, bool fadeIn) {
    m_editor->SetPlayCursor(startMs);
    m_player.SetPositions(startMs, endMs);
    m_player.SetFadeDuration(fadeMs);
    m_player.PlayWithFade(fadeIn);
    EnterPlaying();
}

// The editor stays enabled: an edit during the preview plays the new selection.
void EditPage::EnterPlaying() {
    m_play->setText(Caption("idc_stop"));
    m_play->setAccessibleName(Name("idc_stop"));
    m_playing = true;
}

void EditPage::BackToIdle() {
    m_editor->ResetPlayCursor();
    m_editor->setEnabled(true);
    m_play->setText(Caption("idc_play"));
    m_play->setAccessibleName(Name("idc_play"));
    m_playing = false;
}

void EditPage::OnLoaded(ISubject*, uint32_t, uint32_t) {
    m_player.SetVolume(100);
}

void EditPage::OnPlaybackEnded(ISubject*, uint32_t, uint32_t) {
    if (m_looping && m_playing && m_loop->isChecked()) {
        // The next pass starts once the player has finished announcing this one's end.
        QTimer::singleShot(0, this, &EditPage::PlayNextPass);
        return;
    }
    m_looping = false;
    BackToIdle();
    m_editor->SetPlayCursor(-1);
}

void EditPage::OnPositionChanged(ISubject*, uint32_t positionMs, uint32_t) {
    m_editor->SetPlayCursor(static_cast<int32_t>(positionMs));
}

void EditPage::OnFadeOutPoint(ISubject*, uint32_t, uint32_t) {
    m_player.FadeOut(m_looping || m_fadeOut->isChecked());
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
    case kZoomSelection:
        m_editor->ZoomToSelection();
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
    orvanta::RingtoneSettings settings;
    std::tie(settings.startMs, settings.endMs) = m_editor->Model().SelectionMs();
    settings.fadeMs = orvanta::FadeLengthForSelection(settings.endMs - settings.startMs);
    settings.amplify = static_cast<float>(m_amplify->currentData().toInt()) * 0.01f;
    settings.stereo = m_stereo->isChecked();
    settings.outSampleRate = m_quality->currentData().toInt();
    settings.snapToZeroCrossings = m_snap->isChecked();
    settings.format = static_cast<orvanta::RingtoneFormat>(m_format->currentData().toInt());
    return settings;
}

bool EditPage::CanLeave(int target) {
    m_looping = false;
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
    if (!orvanta::IsLongEnoughForRingtone(settings.startMs, settings.endMs)) {
        ShowMessage(this, Message{Text("ide_selection_too_short"), MessageKind::Warning});
        return false;
    }
    if (!orvanta::SelectionFitsFormat(settings.format, settings.endMs - settings.startMs)) {
        ShowMessage(this, Message{Text("ide_m4r_too_long"), MessageKind::Warning});
        return false;
    }
    const std::string ringtonePath = RingtoneDestination(settings.format);
    if (ringtonePath.empty()) {
        return false;
    }
    orvanta::WorkFiles& files = orvanta::CurrentWorkFiles();
    const EngineReason reason;
    const ProgressWindowScope progressWindow;
    int cancelled = 0;
    if (!MakeRingtoneFile(settings, ringtonePath, cancelled)) {
        return FailConversion(reason.Text());
    }
    if (cancelled != 0) {
        return false;
    }
    m_writtenByThisJob = ringtonePath;
    files.ringtoneMp3Path = orvanta::RingtonePathFor(ringtonePath, orvanta::RingtoneFormat::Mp3);
    files.ringtoneFormat = settings.format;
    return true;
}

std::string EditPage::RingtoneDestination(orvanta::RingtoneFormat format) {
    const std::string designed =
        orvanta::RingtonePathFor(orvanta::CurrentWorkFiles().ringtoneMp3Path, format);
    if (!orvanta::FolderTakesNewFiles(designed)) {
        // The dialog itself asks before it lets the user pick a file that exists.
        return ChooseSavePath(this, Text("idd_choose_ringtone_place"), InMusicFolder(designed));
    }
    if (designed != m_writtenByThisJob && IsRegularFile(designed) &&
        ShowMessage(this, Message{Text("idd_confirm_replace_ringtone"), MessageKind::Question,
                                  MessageButtons::YesNo, designed}) != IDYES) {
        return {};
    }
    return designed;
}

bool EditPage::FailConversion(const std::string& reason) {
    // The message must be answerable: no progress window may stay up over it.
    CloseProgressWindow();
    ShowMessage(this, Message{Text("ide_internal_engine_failed"), MessageKind::Error,
                              MessageButtons::Ok, reason});
    return false;
}

// The cut and the encode into `ringtonePath`. A normalised MP3 is measured after its encode and
// made again when the encoder moved it off the target; the other formats take the normalised cut
// as it is.
bool EditPage::MakeRingtoneFile(const orvanta::RingtoneSettings& settings,
                                const std::string& ringtonePath, int& cancelled) const {
    const orvanta::WorkFiles& files = orvanta::CurrentWorkFiles();
    if (m_normalize->isChecked() && settings.format == orvanta::RingtoneFormat::Mp3) {
        orvanta::NormalizeResult result;
        return orvanta::MakeNormalizedRingtone(files.workingWavPath, files.ringtoneWavPath,
                                               ringtonePath, settings, orvanta::NormalizeTarget{},
                                               cancelled, result);
    }
    if (!CutSelection(settings, cancelled)) {
        return false;
    }
    return cancelled != 0 ||
           orvanta::EncodeRingtone({files.ringtoneWavPath, ringtonePath, settings.format,
                                    settings.stereo, settings.outSampleRate,
                                    orvanta::RingtoneTitle(files.sourcePath)},
                                   cancelled);
}

bool EditPage::CutSelection(const orvanta::RingtoneSettings& settings, int& cancelled) const {
    const orvanta::WorkFiles& files = orvanta::CurrentWorkFiles();
    orvanta::WavProcessor processor;
    if (m_normalize->isChecked()) {
        orvanta::NormalizeTarget aim;
        aim.mono = !settings.stereo;
        orvanta::NormalizeResult result;
        return processor.CutRingtoneNormalized(
            files.workingWavPath, files.ringtoneWavPath, settings.startMs, settings.endMs,
            settings.fadeMs, aim, settings.snapToZeroCrossings, cancelled, result);
    }
    if (settings.snapToZeroCrossings) {
        return processor.CutRingtoneSnapped(files.workingWavPath, files.ringtoneWavPath,
                                            settings.startMs, settings.endMs, settings.fadeMs,
                                            settings.amplify, cancelled);
    }
    return processor.CutRingtone(files.workingWavPath, files.ringtoneWavPath, settings.startMs,
                                 settings.endMs, settings.fadeMs, settings.amplify, cancelled);
}

void EditPage::OnErrorAbort(ISubject*, uint32_t, uint32_t) {
    m_looping = false; // a broken graph would fail every pass again
}

void EditPage::CreateSelectionControls() {
    m_selectionFields = new SelectionFields(this);
    m_selectionFields->setObjectName("selectionFields");
    connect(m_selectionFields, &SelectionFields::selectionTyped, this, &EditPage::OnSelectionTyped);
    m_snap = new QCheckBox(this);
    m_snap->setObjectName("snap");
    m_snap->setChecked(QSettings().value(kSnapSetting, false).toBool());
    connect(m_snap, &QCheckBox::toggled, this, [this](bool on) {
        QSettings().setValue(kSnapSetting, on);
        ApplySnap();
        ShowSelectionInFields();
    });
    m_loop = new QCheckBox(this);
    m_loop->setObjectName("loop");
    connect(m_editor, &WaveEditor::selectionEdited, this, &EditPage::OnSelectionEdited);
    connect(m_editor, &WaveEditor::viewChanged, this, &EditPage::SyncScrollBar);
    connect(m_editor, &WaveEditor::playRequested, this, &EditPage::OnPlayButton);
    connect(m_editor, &WaveEditor::playFromRequested, this, &EditPage::PlayFrom);
    SetSelectionTexts();
    ArrangeSelectionControls();
}

void EditPage::SetSelectionTexts() {
    m_selectionFields->SetTexts();
    m_snap->setText(Caption("idd_snap_zero_crossings"));
    m_snap->setAccessibleName(Name("idd_snap_zero_crossings"));
    m_loop->setText(Caption("idd_loop"));
    m_loop->setAccessibleName(Name("idd_loop"));
    m_editor->setToolTip(QText("idd_wave_keys"));
}

// The fields sit in the free band between the description and the waveform; the two boxes below
// the play button.
void EditPage::ArrangeSelectionControls() {
    const int editorTop = kDescriptionRect.bottom() + 1 + kEditorGap;
    m_selectionFields->setGeometry(kDescriptionRect.x(), editorTop - kSelectionFieldsHeight - 2,
                                   kDescriptionRect.width(), kSelectionFieldsHeight);
    const int hintRight = kLabelRight - kLabelMinWidth - kControlGap;
    m_selectionFields->HintLabel()->setGeometry(
        kDescriptionRect.x(), editorTop + kEditorHeight + kScrollBarHeight + kHintGap,
        hintRight - kDescriptionRect.x(), kHintHeight);
    Place(m_loop, {kPlayRect.x(), kOptionsRowTop, kFadeInRect.width(), kFadeInRect.height()});
    Place(m_snap, {m_loop->geometry().right() + kControlGap * 3, kOptionsRowTop,
                   kFadeInRect.width(), kFadeInRect.height()});
}

void EditPage::OnSelectionTyped(int32_t startMs, int32_t endMs) {
    m_editor->SetExactSelection(startMs, endMs);
    ApplySnap();
    ShowSelectionInFields();
    ReplayAfterEdit();
}

void EditPage::OnSelectionEdited(bool finished) {
    if (!finished) {
        const auto [startMs, endMs] = m_editor->LiveSelectionMs();
        m_selectionFields->ShowSelection(std::min(startMs, endMs), std::max(startMs, endMs));
        m_editor->SetAccessibleValue(m_selectionFields->Summary());
        return;
    }
    ApplySnap();
    ShowSelectionInFields();
    ReplayAfterEdit();
}

// With snapping on, the band shows the ends the cut will take; the times the user chose stay
// what is handed to the cut, which finds the same crossings again.
void EditPage::ApplySnap() {
    const auto exact = m_editor->Model().ExactSelectionMs();
    if (!m_snap->isChecked()) {
        if (exact) {
            m_editor->SetExactSelection(exact->first, exact->second);
        }
        return;
    }
    const auto [startMs, endMs] = m_editor->Model().SelectionMs();
    if (m_editor->Model().SelectionEnd() < 0 || startMs >= endMs) {
        return;
    }
    const auto frames = orvanta::WavProcessor().SnapCutToZeroCrossings(
        orvanta::CurrentWorkFiles().workingWavPath, startMs, endMs);
    if (frames) {
        m_editor->SetExactSelection(
            startMs, endMs,
            std::pair{static_cast<int32_t>(frames->start), static_cast<int32_t>(frames->end)});
    }
}

std::pair<int32_t, int32_t> EditPage::ShownSelectionMs() const {
    const WaveModel& model = m_editor->Model();
    if (!m_snap->isChecked() || !model.ExactSelectionMs()) {
        return model.SelectionMs();
    }
    const int32_t a = model.FrameToMs(model.SelectionStart());
    const int32_t b = model.FrameToMs(model.SelectionEnd());
    return {std::min(a, b), std::max(a, b)};
}

void EditPage::ShowSelectionInFields() {
    if (m_editor->Model().SelectionEnd() < 0) {
        return;
    }
    const auto [startMs, endMs] = ShownSelectionMs();
    m_selectionFields->ShowSelection(startMs, endMs, m_editor->Model().SelectionMs());
    m_editor->SetAccessibleValue(m_selectionFields->Summary());
}

// A plain preview starts again from the new start; a loop takes the change at its next pass.
void EditPage::ReplayAfterEdit() {
    if (!m_playing || m_looping) {
        return;
    }
    m_player.Stop();
    BackToIdle();
    OnPlayButton();
}

void EditPage::PlayNextPass() {
    if (!m_looping || !m_playing) {
        return;
    }
    const auto [startMs, endMs] = ShownSelectionMs();
    StartPreview(startMs, endMs, orvanta::FadeLengthForSelection(endMs - startMs), true);
}

void EditPage::PlayFrom(int32_t fromMs) {
    const auto [startMs, endMs] = ShownSelectionMs();
    if (fromMs >= endMs) {
        return;
    }
    if (m_playing) {
        m_looping = false;
        m_player.Stop();
        BackToIdle();
    }
    // The fade-out the file gets at the end, no fade-in in the middle of the music.
    StartPreview(fromMs, endMs, orvanta::FadeLengthForSelection(endMs - startMs), false);
}

namespace {

// The loudness row fills the gap between the scroll bar and the play button's row; the clip
// warning stands right above the waveform whose red columns it explains.
constexpr QRect kNormalizeRect{10, 304, 140, 20};
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
    m_normalize = new QCheckBox(Caption("idd_normalize_loudness"), this);
    m_normalize->setObjectName("normalize");
    m_normalize->setAccessibleName(Name("idd_normalize_loudness"));
    m_normalize->setChecked(QSettings().value(kNormalizeSettingsKey, false).toBool());
    m_loudnessMeter = new QLabel(this);
    m_loudnessMeter->setObjectName("loudnessMeter");
    m_loudnessMeter->setTextFormat(Qt::PlainText);
    m_loudnessMeter->setAccessibleName(Name("idd_normalize_loudness"));
    m_clipWarning = new QLabel(this);
    m_clipWarning->setObjectName("clipWarning");
    m_clipWarning->setTextFormat(Qt::PlainText);
    m_clipWarning->setStyleSheet("color: rgb(200, 0, 0);");
    m_clipWarning->setAccessibleName(Name("idd_amplify"));
    m_clipWarning->hide();
    m_predictedSize = new QLabel(this);
    m_predictedSize->setObjectName("predictedSize");
    m_predictedSize->setTextFormat(Qt::PlainText);
    m_predictedSize->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_predictedSize->setAccessibleName(Name("idd_quality"));
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
    m_clipWarning->setGeometry(kClipWarningRect);
    m_clipWarning->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ArrangeLoudnessTexts();
}

// The predicted size keeps to the right column's end; the meter takes all the room left of it,
// which a long translation needs.
void EditPage::ArrangeLoudnessTexts() {
    const int sizeWidth = m_predictedSize->sizeHint().width();
    const int sizeLeft = kQualityRect.right() + 1 - sizeWidth + m_growth.width();
    const int top = kNormalizeRect.y() + m_growth.height();
    m_predictedSize->setGeometry(sizeLeft, top, sizeWidth, kNormalizeRect.height());
    const int left = m_normalize->geometry().right() + 1 + kControlGap * 2;
    m_loudnessMeter->setGeometry(left, top, sizeLeft - kControlGap * 2 - left,
                                 kNormalizeRect.height());
}

// The page grows with the window beyond the designed size its parent has as its minimum.
void EditPage::resizeEvent(QResizeEvent* event) {
    WizardPage::resizeEvent(event);
    const QWidget* holder = parentWidget();
    const QSize designed = holder != nullptr ? holder->minimumSize() : QSize();
    const QSize growth =
        designed.isEmpty() ? QSize(0, 0) : (holder->size() - designed).expandedTo(QSize(0, 0));
    if (growth == m_growth) {
        return;
    }
    m_growth = growth;
    ArrangeControls();
    ArrangeSelectionControls();
    ArrangeLoudnessControls();
    const std::pair<QWidget*, Anchor> anchors[] = {{m_description, Anchor::Widen},
                                                   {m_selectionFields, Anchor::Widen},
                                                   {m_clipWarning, Anchor::Widen},
                                                   {m_editor, Anchor::Fill},
                                                   {m_scrollBar, Anchor::DownWiden},
                                                   {m_selectionFields->HintLabel(), Anchor::Down},
                                                   {m_play, Anchor::Down},
                                                   {m_zoom, Anchor::Down},
                                                   {m_fadeIn, Anchor::Down},
                                                   {m_fadeOut, Anchor::Down},
                                                   {m_stereo, Anchor::Down},
                                                   {m_loop, Anchor::Down},
                                                   {m_snap, Anchor::Down},
                                                   {m_normalize, Anchor::Down},
                                                   {m_quality, Anchor::DownRight},
                                                   {m_amplify, Anchor::DownRight},
                                                   {m_qualityLabel, Anchor::DownRight},
                                                   {m_amplifyLabel, Anchor::DownRight},
                                                   {m_format, Anchor::DownRight},
                                                   {m_formatLabel, Anchor::DownRight}};
    for (const auto& [control, anchor] : anchors) {
        control->setGeometry(Grown(control->geometry(), anchor, m_growth));
    }
    ArrangeLoudnessTexts();
}

// Tab goes down the page as the eye does: the times, the waveform and its scroll bar, the
// format, loudness, then the row of the play button and the options below it.
void EditPage::SetTabOrder() {
    const std::vector<QWidget*> order = {m_selectionFields->FieldAt(0),
                                         m_selectionFields->FieldAt(1),
                                         m_selectionFields->FieldAt(2),
                                         m_editor,
                                         m_scrollBar,
                                         m_format,
                                         m_normalize,
                                         m_play,
                                         m_zoom,
                                         m_fadeIn,
                                         m_fadeOut,
                                         m_stereo,
                                         m_quality,
                                         m_amplify,
                                         m_loop,
                                         m_snap};
    for (std::size_t i = 1; i < order.size(); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
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
    ArrangeLoudnessTexts();
}
