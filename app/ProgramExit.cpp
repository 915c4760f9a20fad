#include "ProgramExit.h"

#include "AppMainWindow.h"
#include "DialogProgressSteps.h"
#include "ProgressDialog.h"

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <QTimer>
#include <array>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> kStopSignals{SIGTERM, SIGINT, SIGHUP};
// How often an exit that waits for a long step to unwind looks again, in ms.
constexpr int kIdlePollMs = 50;

volatile std::sig_atomic_t g_received = 0;
volatile std::sig_atomic_t g_writeEnd = -1;

extern "C" void OnStopSignal(int signal) {
    if (g_received != 0) {
        ::_exit(128 + signal);
    }
    g_received = signal;
    const char number = static_cast<char>(signal);
    // Nothing to do when it fails: the pipe then holds a byte already.
    [[maybe_unused]] const ssize_t written = ::write(g_writeEnd, &number, 1);
}

void SetStopHandler(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    // Restarted calls: the handler only writes a byte, no call of this program must fail for it.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signal : kStopSignals) {
        sigaction(signal, &action, nullptr);
    }
}

// A dialog or message box that runs its own loop inside the work (or before the main window)
// would hold the exit until someone answers it.
bool AnswerOpenDialog(const QWidget* main) {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == main) {
        return false;
    }
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        dialog->done(QDialog::Rejected);
    } else {
        modal->close();
    }
    return true;
}

} // namespace

void EndProgramWhenIdle() {
    ProgressDialog* progress = CurrentProgressDialog();
    if (progress != nullptr && !progress->IsCancelled()) {
        progress->OnCancel();
    }
    auto* main = qobject_cast<QDialog*>(AppMainWindow());
    if (AnswerOpenDialog(main) || CurrentProgressDialog() != nullptr || main == nullptr) {
        // Bound to the main window once there is one: the wait ends with it.
        QObject* context = main != nullptr ? static_cast<QObject*>(main) : qApp;
        QTimer::singleShot(kIdlePollMs, context, &EndProgramWhenIdle);
        return;
    }
    main->done(QDialog::Accepted);
}

ExitSignals::ExitSignals() {
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("orvanta: no pipe for stop signals; they end the program without clean-up");
        return;
    }
    g_writeEnd = m_pipe[1];
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ExitSignals::OnSignal);
    SetStopHandler(&OnStopSignal);
}

ExitSignals::~ExitSignals() {
    if (m_notifier == nullptr) {
        return;
    }
    SetStopHandler(SIG_DFL);
    g_writeEnd = -1;
    delete m_notifier;
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
}

int ExitSignals::Received() {
    return g_received;
}

int ExitSignals::ExitStatus(int status) {
    return g_received != 0 ? 128 + g_received : status;
}

void ExitSignals::OnSignal() {
    char numbers[16];
    while (::read(m_pipe[0], numbers, sizeof numbers) > 0) {
    }
    qInfo("orvanta: stop signal %d: the program ends", static_cast<int>(g_received));
    EndProgramWhenIdle();
}
