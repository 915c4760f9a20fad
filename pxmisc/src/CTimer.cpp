#include "pxmisc/CTimer.h"

#include "pxmisc/ITimerPX.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <map>
#include <utility>

namespace {

// Where a timer id leads. A type of this file's own keeps the table's code out of the
// library's exported symbols.
struct Route {
    ITimerPX* callback = nullptr;
};

// The process-wide table: timer id -> callback, and the Qt timers behind each (window, id).
// Keyed by the id alone on purpose: a second SetTimer with a used id re-points it.
struct TimerTable {
    std::map<int, Route> callbacks;
    std::map<std::pair<QObject*, int>, QPointer<QTimer>> timers;
};

TimerTable& Table() {
    static TimerTable table;
    return table;
}

void Dispatch(int timerId) {
    const auto found = Table().callbacks.find(timerId);
    if (found != Table().callbacks.end()) {
        found->second.callback->OnTimer(timerId);
    }
}

} // namespace

int CTimer::SetTimer(QObject* window, int timerId, int periodMs, ITimerPX* callback) {
    QPointer<QTimer>& timer = Table().timers[{window, timerId}];
    if (timer.isNull()) {
        // Parented to the window, so the timer dies with it like a window timer does.
        timer = new QTimer(window);
        QObject::connect(timer.data(), &QTimer::timeout, [timerId] { Dispatch(timerId); });
    }
    timer->start(periodMs);
    Table().callbacks[timerId] = Route{callback};
    return timerId;
}

int CTimer::KillTimer(QObject* window, int timerId) {
    TimerTable& table = Table();
    if (table.callbacks.erase(timerId) == 0) {
        return -1;
    }
    const auto found = table.timers.find({window, timerId});
    if (found != table.timers.end()) {
        delete found->second.data();
        table.timers.erase(found);
    }
    return 0;
}
