// Shows the program's windows the way a person meets them and saves what the screen shows:
// every wizard page on a real song, the about box, the progress window halfway through a real
// decode, and a question and a failure message with their details.
// tools/screenshots.sh runs it under a virtual display; the pictures are for people to look at.
//
//     orvanta_screenshot_driver LANGUAGE STRINGS_XML SONG DECODE_SOURCE OUTPUT_FOLDER
//
// ORVANTA_SCREENSHOT_SIZE=maximised pictures the window filling the screen; otherwise it has its
// designed (smallest) size. QT_SCALE_FACTOR sets the scaling, as a desktop's setting does.
#include "AboutBox.h"
#include "Application.h"
#include "ConversionEngine.h"
#include "DialogProgressSteps.h"
#include "EditPage.h"
#include "ImportPage.h"
#include "MainWizardWindow.h"
#include "MessageBox.h"
#include "ProgramPages.h"
#include "ProgressDialog.h"
#include "StringTable.h"
#include "WavProcessor.h"
#include "WaveEditor.h"
#include "WizardTabControl.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

// Lets the display server draw what was just shown before the screen is read.
void Settle() {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 400) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

// The window with its frame, or the whole screen for no window. The frame is measured only once
// the window manager has put it round the window.
bool SaveScreen(const QString& path, const QWidget* window) {
    Settle();
    const QRect area =
        window != nullptr ? window->frameGeometry() : QGuiApplication::primaryScreen()->geometry();
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(),
                                                                      area.width(), area.height());
    const bool saved = shot.save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

// The progress window's own steps, which also take a picture once the decode is half done.
class PhotographedProgress : public DialogProgressSteps {
public:
    explicit PhotographedProgress(QString path) : m_path(std::move(path)) {}

    int BeginLoading(uint32_t total) override {
        m_total = total;
        return DialogProgressSteps::BeginLoading(total);
    }

    int StepLoading(uint32_t position) override {
        const int goOn = DialogProgressSteps::StepLoading(position);
        if (!m_taken && m_total > 0 && position * 2ull >= m_total) {
            m_taken = SaveScreen(m_path, nullptr);
        }
        return goOn;
    }

    bool taken() const { return m_taken; }

private:
    QString m_path;
    uint32_t m_total = 0;
    bool m_taken = false;
};

// Waits (at most 10 s) for the edit page's loudness meter to show its newest reading.
void WaitForMeter(EditPage& edit) {
    QEventLoop loop;
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    QObject::connect(edit.findChild<SelectionMeter*>(), &SelectionMeter::Measured, &loop,
                     &QEventLoop::quit);
    loop.exec();
}

// The edit page with its loudness meter read and the clip warning of the highest amplify.
bool PhotographLoudness(EditPage& edit, MainWizardWindow& window, const QString& path) {
    auto* amplify = edit.findChild<QComboBox*>("amplify");
    const int designed = amplify->currentIndex();
    amplify->setCurrentIndex(amplify->count() - 1);
    WaitForMeter(edit);
    const bool saved = SaveScreen(path, &window);
    amplify->setCurrentIndex(designed);
    return saved;
}

// The three pages as a person goes through them with `song`: the import page with the path typed,
// the edit page on the song with a selection and the play cursor halfway through it, and the
// save page with the finished ringtone.
bool PhotographPages(MainWizardWindow& window, const std::string& song, const QString& prefix) {
    auto* import = qobject_cast<ImportPage*>(window.TabControl()->Page(0));
    import->SetSourcePath(QString::fromStdString(song));
    bool saved = SaveScreen(prefix + "1.png", &window);
    if (!window.TabControl()->SelectPage(1)) {
        std::fprintf(stderr, "the import of %s failed\n", song.c_str());
        return false;
    }
    auto* edit = qobject_cast<EditPage*>(window.TabControl()->Page(1));
    constexpr int32_t kStartMs = 16000;
    constexpr int32_t kEndMs = 48500; // over 30 s, so the length hint shows
    edit->OnSelectionTyped(kStartMs, kEndMs);
    edit->Editor()->SetPlayCursor((kStartMs + kEndMs) / 2);
    saved = SaveScreen(prefix + "2.png", &window) && saved;
    saved = PhotographLoudness(*edit, window, prefix + "2_loudness.png") && saved;
    if (!window.TabControl()->SelectPage(2)) {
        std::fprintf(stderr, "the ringtone of %s could not be made\n", song.c_str());
        return false;
    }
    saved = SaveScreen(prefix + "3.png", &window) && saved;
    window.TabControl()->SelectPage(0);
    return saved;
}

// Maximised, or as a window manager without maximising would show it: the whole work area.
void FillScreen(QWidget& window) {
    window.showMaximized();
    Settle();
    const QRect area = window.screen()->availableGeometry();
    if (window.size() == window.minimumSize()) {
        const QSize frame = window.frameGeometry().size() - window.size();
        window.setGeometry(QRect(area.topLeft(), area.size() - frame));
    }
}

bool PhotographAboutBox(MainWizardWindow& window, const QString& path) {
    AboutBox about(&window);
    about.show();
    about.move(window.geometry().center() - about.rect().center());
    return SaveScreen(path, &about);
}

bool PhotographDecode(const std::string& source, const QString& path) {
    QTemporaryDir work;
    PhotographedProgress progress(path);
    const orvanta::ScopedProgressSteps installed(progress);
    orvanta::ConversionEngine engine;
    int cancelled = 0;
    const std::string wav = work.filePath("work.wav").toStdString();
    const bool decoded = engine.Open() && engine.DecodeToWav(source, wav, cancelled);
    const bool peaks = decoded && orvanta::WavProcessor().BuildPeakFile(
                                      wav, work.filePath("work.wfp").toStdString(), cancelled);
    CloseProgressWindow();
    if (!peaks) {
        std::fprintf(stderr, "the decode of %s failed\n", source.c_str());
    }
    return peaks && progress.taken();
}

// Shows `message` as the program does and closes it once it is pictured.
bool PhotographMessage(QWidget* parent, const Message& message, const QString& path) {
    bool saved = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        saved = box != nullptr && SaveScreen(path, box);
        if (box != nullptr) {
            box->done(0);
        }
    });
    ShowMessage(parent, message);
    return saved;
}

bool PhotographMessages(QWidget* parent, const QString& prefix) {
    StringTable& strings = StringTable::Instance();
    const bool question = PhotographMessage(parent,
                                            Message{strings.Lookup("idd_confirm_replace_ringtone"),
                                                    MessageKind::Question, MessageButtons::YesNo,
                                                    "/home/user/Music/Summer Hit_ringtone.mp3"},
                                            prefix + "question.png");
    const bool failure = PhotographMessage(parent,
                                           Message{strings.Lookup("ide_failed_decoding"),
                                                   MessageKind::Error, MessageButtons::Ok,
                                                   "sorry, vorbis support in LAME is deprecated."},
                                           prefix + "failure.png");
    return question && failure;
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s LANGUAGE STRINGS_XML SONG DECODE_SOURCE OUTPUT_FOLDER\n",
                     argv[0]);
        return 2;
    }
    QApplication::setOrganizationName("Orvanta");
    QApplication::setApplicationName("Orvanta");
    const std::string language = argv[1];
    if (!StringTable::Instance().Load(argv[2], language)) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return EXIT_FAILURE;
    }
    // Standard buttons as the program shows them in this language.
    Application::UseQtTranslations(language);
    const QString folder = QString::fromLocal8Bit(argv[5]) + "/";
    const QString tag = QString::fromStdString(language);
    MainWizardWindow window(MakeProgramPages());
    window.move(20, 20);
    window.show();
    if (qEnvironmentVariable("ORVANTA_SCREENSHOT_SIZE") == QLatin1String("maximised")) {
        FillScreen(window);
    }
    DialogProgressSteps progress;
    std::optional<orvanta::ScopedProgressSteps> installed(std::in_place, progress);
    bool saved = PhotographPages(window, argv[3], folder + "wizard_" + tag + "_page");
    installed.reset();
    saved = PhotographAboutBox(window, folder + "about_" + tag + ".png") && saved;
    saved = PhotographMessages(&window, folder + "message_" + tag + "_") && saved;
    saved = PhotographDecode(argv[4], folder + "progress_" + tag + ".png") && saved;
    StringTable::Release();
    return saved ? EXIT_SUCCESS : EXIT_FAILURE;
}
