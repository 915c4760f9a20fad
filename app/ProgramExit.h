#pragma once

#include <QObject>

class QSocketNotifier;

// Ends the program without a question: stops the long step that runs (its loop unwinds at its
// next block, removing what it wrote), answers any message box or dialog that is open as No,
// and closes the main window once the work is over, which removes the job's files. Until the
// main window is up, it waits for it.
void EndProgramWhenIdle();

// SIGTERM, SIGINT and SIGHUP (logout, shutdown, Ctrl-C in a terminal) end the window program
// through EndProgramWhenIdle, so its working files go with it; it then exits with 128 + the
// signal's number. The handler only writes the number into a pipe that a socket notifier
// watches, so everything else runs on the user-interface thread between two events (inside a
// long step too, which pumps them). A second signal ends the program at once; the next start
// removes the folders it leaves (orvanta::PrivateTempFolder::RemoveAbandoned).
class ExitSignals : public QObject {
    Q_OBJECT

public:
    ExitSignals();
    ~ExitSignals() override;
    ExitSignals(const ExitSignals&) = delete;
    ExitSignals& operator=(const ExitSignals&) = delete;

    // The first stop signal received, 0 while none was.
    static int Received();
    // 128 + that signal's number once one was received, else `status`.
    static int ExitStatus(int status);

private:
    void OnSignal();

    int m_pipe[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
};
