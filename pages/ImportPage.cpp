#include "ImportPage.h"

#include "BitmapButton.h"
#include "ControlText.h"
#include "ConversionEngine.h"
#include "DialogProgressSteps.h"
#include "EngineReason.h"
#include "MainWizardWindow.h"
#include "MessageBox.h"
#include "PageIndex.h"
#include "StringTable.h"
#include "WavProcessor.h"
#include "WorkFiles.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
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
    const std::string path = m_path->text().toStdString();
    if (path.empty()) {
        ShowMessage(this, Message{Text("ide_must_select_song"), MessageKind::Warning});
        return false;
    }
    return Import(path);
}

bool ImportPage::Import(const std::string& sourcePath) {
    auto attempt = std::make_unique<orvanta::PrivateTempFolder>();
    if (attempt->Path().empty()) {
        ShowMessage(this, Message{Text("ide_failed_decoding"), MessageKind::Error});
        return false;
    }
    const orvanta::WorkFiles files = orvanta::DeriveWorkFiles(sourcePath, attempt->Path());
    const EngineReason reason;
    const ProgressWindowScope progressWindow;
    orvanta::ConversionEngine engine;
    if (!engine.Open()) {
        ShowMessage(this, Message{Text("ide_internal_engine_failed"), MessageKind::Error});
        return false;
    }
    int cancelled = 0;
    if (!engine.DecodeToWav(sourcePath, files.workingWavPath, cancelled)) {
        CloseProgressWindow();
        ShowMessage(this, Message{Text("ide_failed_decoding"), MessageKind::Error,
                                  MessageButtons::Ok, reason.Text()});
        return false;
    }
    engine.Close();
    if (cancelled != 0) {
        return false;
    }
    // A peak file that cannot be written only leaves the edit page without a waveform.
    orvanta::WavProcessor().BuildPeakFile(files.workingWavPath, files.peakFilePath, cancelled);
    if (cancelled != 0) {
        return false;
    }
    m_jobFolder = std::move(attempt);
    orvanta::CurrentWorkFiles() = files;
    return true;
}

void ImportPage::Browse() {
    const QString chosen = QFileDialog::getOpenFileName(
        this, QString(), QString(), FileFilters().join(";;"), nullptr, QFileDialog::ReadOnly);
    if (!chosen.isEmpty()) {
        SetSourcePath(chosen);
    }
}

void ImportPage::SetSourcePath(const QString& path) {
    m_path->setText(path);
}

QString ImportPage::SourcePath() const {
    return m_path->text();
}

QStringList ImportPage::FileFilters() {
    return {QStringLiteral("MP3(*.mp3)"),
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
