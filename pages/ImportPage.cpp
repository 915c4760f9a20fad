#include "ImportPage.h"

#include "AppProfile.h"
#include "BitmapButton.h"
#include "ControlText.h"
#include "ConversionEngine.h"
#include "DialogProgressSteps.h"
#include "EngineReason.h"
#include "MainWizardWindow.h"
#include "MessageBox.h"
#include "PageIndex.h"
#include "PeakFile.h"
#include "StringTable.h"
#include "WavProcessor.h"
#include "WizardTabControl.h"
#include "WorkFiles.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

namespace {

std::string Text(const char* identifier) {
    return StringTable::Instance().Lookup(identifier);
}

QString QText(const char* identifier) {
    return QString::fromStdString(Text(identifier));
}

// The local file a drag carries, empty when it carries none or more than one.
QString DroppedFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls() || data->urls().size() != 1) {
        return {};
    }
    const QUrl url = data->urls().front();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

// The settings key of the folder Browse chose from last.
constexpr const char* kBrowseFolderKey = "browse_folder";

// Every extension the program reads; the file dialog matches names case-sensitively.
constexpr const char* kSupportedExtensions[] = {"mp3", "mp2",  "mp1",  "mpg", "wav",
                                                "aif", "aiff", "aifc", "raw", "pcm"};

QString SupportedPatterns() {
    QStringList patterns;
    for (const char* extension : kSupportedExtensions) {
        const QString lower = QString::fromLatin1(extension);
        patterns << QStringLiteral("*.") + lower << QStringLiteral("*.") + lower.toUpper();
    }
    return patterns.join(QLatin1Char(' '));
}

bool IsFolder(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isDir();
}

// How often a file that waits for a step to end looks again.
constexpr int kOpenPollMs = 100;

} // namespace

ImportPage::ImportPage(QWidget* parent)
    : WizardPage(parent), m_description(new QLabel(this)), m_path(new QLineEdit(this)),
      m_browse(new QPushButton(this)) {
    m_description->setObjectName("description");
    m_description->setTextFormat(Qt::PlainText);
    m_description->setWordWrap(true);
    m_description->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_path->setObjectName("sourcePath");
    m_browse->setObjectName("browse");
    m_browse->setText(ControlText(Text("idc_browse")));
    m_browse->setAccessibleName(PlainText(Text("idc_browse")));
    connect(m_browse, &QPushButton::clicked, this, &ImportPage::Browse);
    m_openTimer.setInterval(kOpenPollMs);
    connect(&m_openTimer, &QTimer::timeout, this, &ImportPage::OpenWaitingFile);
    // Queued: the Enter must have finished its way through the page before the page changes.
    connect(m_path, &QLineEdit::returnPressed, this, &ImportPage::LoadTypedPath,
            Qt::QueuedConnection);

    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(m_path, 1);
    pathRow->addWidget(m_browse);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 11, 10, 11);
    layout->addWidget(m_description);
    layout->addLayout(pathRow);
    layout->addStretch();
}

ImportPage::~ImportPage() = default;

void ImportPage::OnActivate(int previous) {
    if (qobject_cast<MainWizardWindow*>(window()) == nullptr) {
        return;
    }
    AcceptDropsOnWindow();
    SetWizardButtonText(0, Text("idc_load_file"));
    ShowWizardButton(1, false);
    ShowWizardButton(0, true);
    m_description->setText(QText("idd_importing_description"));
    m_description->setAccessibleName(m_description->text());
    m_path->setAccessibleName(m_description->text());
    orvanta::RemoveTemporaryWorkFiles(orvanta::CurrentWorkFiles());
    if (previous == kSavePageIndex) {
        m_path->clear();
    }
    // The page is there to name a song: typing can start at once.
    m_path->setFocus();
}

// Enter in the path box is Load File.
void ImportPage::LoadTypedPath() {
    if (auto* frame = qobject_cast<MainWizardWindow*>(window())) {
        frame->NextButton()->click();
    }
}

bool ImportPage::CanLeave(int target) {
    if (target != kEditPageIndex) {
        return true;
    }
    if (m_importedJob) {
        Adopt(std::move(*m_importedJob));
        m_importedJob.reset();
        return true;
    }
    const std::string path = m_path->text().toStdString();
    if (path.empty()) {
        ShowMessage(this, Message{Text("ide_must_select_song"), MessageKind::Warning});
        return false;
    }
    return Import(path);
}

bool ImportPage::Import(const std::string& sourcePath) {
    std::optional<ImportedJob> job = Decode(sourcePath);
    if (!job) {
        return false;
    }
    Adopt(std::move(*job));
    return true;
}

std::optional<ImportPage::ImportedJob> ImportPage::Decode(const std::string& sourcePath) {
    auto attempt = std::make_unique<orvanta::PrivateTempFolder>();
    if (attempt->Path().empty()) {
        ShowMessage(this, Message{Text("ide_failed_decoding"), MessageKind::Error});
        return std::nullopt;
    }
    const orvanta::WorkFiles files = orvanta::DeriveWorkFiles(sourcePath, attempt->Path());
    const EngineReason reason;
    const ProgressWindowScope progressWindow;
    orvanta::ConversionEngine engine;
    if (!engine.Open()) {
        ShowMessage(this, Message{Text("ide_internal_engine_failed"), MessageKind::Error});
        return std::nullopt;
    }
    int cancelled = 0;
    orvanta::PeakBuilder peaks;
    if (!engine.DecodeToWav(sourcePath, files.workingWavPath, cancelled,
                            orvanta::DecodeOptions{.stopAfterMs = std::nullopt, .sink = &peaks})) {
        CloseProgressWindow();
        ShowMessage(this, Message{Text("ide_failed_decoding"), MessageKind::Error,
                                  MessageButtons::Ok, reason.Text()});
        return std::nullopt;
    }
    engine.Close();
    if (cancelled != 0) {
        return std::nullopt;
    }
    // A peak file that cannot be written only leaves the edit page without a waveform.
    orvanta::WavProcessor().WritePeakFile(peaks, files.workingWavPath, files.peakFilePath,
                                          cancelled);
    if (cancelled != 0) {
        return std::nullopt;
    }
    return ImportedJob{std::move(attempt), files};
}

void ImportPage::Adopt(ImportedJob job) {
    m_jobFolder = std::move(job.folder);
    orvanta::CurrentWorkFiles() = job.files;
}

void ImportPage::OpenFile(const QString& path) {
    m_waitingFiles.append(path);
    if (!m_openTimer.isActive()) {
        m_openTimer.start();
    }
}

bool ImportPage::IsIdle() const {
    // The main window runs modally itself: any other modal window is a step or a question.
    const QWidget* modal = QApplication::activeModalWidget();
    return CurrentProgressDialog() == nullptr && (modal == nullptr || modal == window());
}

void ImportPage::OpenWaitingFile() {
    if (!IsIdle()) {
        return;
    }
    const QString path = m_waitingFiles.takeFirst();
    if (m_waitingFiles.isEmpty()) {
        m_openTimer.stop();
    }
    auto* wizard = qobject_cast<MainWizardWindow*>(window());
    if (wizard == nullptr || wizard->TabControl()->CurrentIndex() == kImportPageIndex) {
        SetSourcePath(path);
        if (wizard != nullptr) {
            wizard->OnNext();
        }
        return;
    }
    ReplaceJobWith(path);
}

// The running job stays until the new song has been imported: a song that fails leaves the user
// where they were, with their selection.
void ImportPage::ReplaceJobWith(const QString& path) {
    if (ShowMessage(this, Message{Text("idd_open_replaces_job"), MessageKind::Question,
                                  MessageButtons::YesNo, path.toStdString()}) != IDYES) {
        return;
    }
    m_importedJob = Decode(path.toStdString());
    if (!m_importedJob) {
        return;
    }
    WizardTabControl* tabs = qobject_cast<MainWizardWindow*>(window())->TabControl();
    if (!tabs->SelectPage(kImportPageIndex)) {
        m_importedJob.reset();
        return;
    }
    SetSourcePath(path);
    tabs->SelectPage(kEditPageIndex);
}

void ImportPage::Browse() {
    const QString chosen =
        QFileDialog::getOpenFileName(this, QString(), BrowseStartFolder(), FileFilters().join(";;"),
                                     nullptr, QFileDialog::ReadOnly);
    if (!chosen.isEmpty()) {
        AppProfile::WriteString(AppProfile::kSettingsSection, kBrowseFolderKey,
                                QFileInfo(chosen).absolutePath().toStdString());
        SetSourcePath(chosen);
    }
}

QString ImportPage::BrowseStartFolder() const {
    const QString typed = m_path->text().trimmed();
    if (!typed.isEmpty() && IsFolder(QFileInfo(typed).absolutePath())) {
        return QFileInfo(typed).absolutePath();
    }
    const QString last = QString::fromStdString(
        AppProfile::GetString(AppProfile::kSettingsSection, kBrowseFolderKey, ""));
    if (IsFolder(last)) {
        return last;
    }
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    return IsFolder(music) ? music : QDir::homePath();
}

void ImportPage::SetSourcePath(const QString& path) {
    m_path->setText(path);
}

QString ImportPage::SourcePath() const {
    return m_path->text();
}

QStringList ImportPage::FileFilters() {
    return {QText("idd_all_supported_files") + QStringLiteral(" (") + SupportedPatterns() +
                QLatin1Char(')'),
            QStringLiteral("MP3(*.mp3)"),
            QStringLiteral("MPEG audio (*.mp3 *.mp2 *.mp1 *.mpg)"),
            QStringLiteral("WAV (*.wav)"),
            QStringLiteral("AIFF (*.aif *.aiff *.aifc)"),
            QStringLiteral("Raw PCM (*.raw *.pcm)"),
            QStringLiteral("All files (*)")};
}

void ImportPage::AcceptDropsOnWindow() {
    QWidget* top = window();
    if (m_dropWindow == top) {
        return;
    }
    m_dropWindow = top;
    top->setAcceptDrops(true);
    top->installEventFilter(this);
}

bool ImportPage::eventFilter(QObject* watched, QEvent* event) {
    // Drops count only while this page is the one shown: elsewhere a new song would slip in
    // behind the user's back.
    if (watched != m_dropWindow || !isVisible()) {
        return WizardPage::eventFilter(watched, event);
    }
    if (event->type() == QEvent::DragEnter) {
        auto* enter = static_cast<QDragEnterEvent*>(event);
        if (!DroppedFile(enter->mimeData()).isEmpty()) {
            enter->acceptProposedAction();
            return true;
        }
    } else if (event->type() == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        const QString file = DroppedFile(drop->mimeData());
        if (!file.isEmpty()) {
            SetSourcePath(file);
            drop->acceptProposedAction();
            return true;
        }
    }
    return WizardPage::eventFilter(watched, event);
}
