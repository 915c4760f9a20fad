// The other copy in the single-instance tests. Modes:
//   first <name> minimized|hidden|unpublished
//       tracks itself as first copy under <name> (its checker object is destroyed right away),
//       prints "ready first=<0|1> wid=<id>" and then, for each "state" line on stdin,
//       "visible=<0|1> minimized=<0|1> active=<0|1>". "unpublished" keeps a hidden window but
//       publishes none. On a "withdraw" line it withdraws, prints "withdrawn" and then, as a
//       copy in its exit, runs no more events. Ends when stdin closes.
//   second <name>
//       prints "running=<0|1> wid=<id>" from PreviousInstanceRunning and
//       ActivatePreviousInstance, then ends.
#include "pxmisc/CInstanceChecker.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>
#include <cstdio>
#include <unistd.h>

namespace {

void Say(const QByteArray& line) {
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int RunFirst(QApplication& application, const char* name, const QByteArray& mode) {
    QWidget window;
    window.setWindowTitle(QStringLiteral("instance peer"));
    if (mode == "minimized") {
        window.showMinimized();
    }
    bool first = false;
    {
        CInstanceChecker checker;
        first = checker.TrackFirstInstanceRunning(name, mode == "unpublished" ? nullptr : &window);
    }
    const WId id = mode == "unpublished" ? 0 : window.winId();
    Say("ready first=" + QByteArray::number(first ? 1 : 0) +
        " wid=" + QByteArray::number(static_cast<quint64>(id)));

    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &application, [&] {
        char buffer[256];
        const ssize_t count = read(STDIN_FILENO, buffer, sizeof(buffer));
        if (count <= 0) {
            application.quit();
            return;
        }
        pending.append(buffer, count);
        qsizetype end = 0;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray command = pending.left(end).trimmed();
            pending.remove(0, end + 1);
            if (command == "withdraw") {
                CInstanceChecker().WithdrawFirstInstance(name);
                Say("withdrawn");
                while (read(STDIN_FILENO, buffer, sizeof(buffer)) > 0) {
                }
                application.quit();
                return;
            }
            if (command == "state") {
                Say("visible=" + QByteArray::number(window.isVisible() ? 1 : 0) +
                    " minimized=" + QByteArray::number(window.isMinimized() ? 1 : 0) +
                    " active=" + QByteArray::number(window.isActiveWindow() ? 1 : 0));
            }
        }
    });
    return application.exec();
}

int RunSecond(const char* name) {
    CInstanceChecker checker;
    const bool running = checker.PreviousInstanceRunning(name);
    const WId id = running ? checker.ActivatePreviousInstance() : 0;
    Say("running=" + QByteArray::number(running ? 1 : 0) +
        " wid=" + QByteArray::number(static_cast<quint64>(id)));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: pxmisc_instance_peer first|second <name> [mode]\n", stderr);
        return 2;
    }
    const QByteArray command(argv[1]);
    const char* name = argv[2];
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (command == "first") {
        return RunFirst(application, name, argc > 3 ? QByteArray(argv[3]) : QByteArray("hidden"));
    }
    if (command == "second") {
        return RunSecond(name);
    }
    return 2;
}
