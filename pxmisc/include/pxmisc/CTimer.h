#pragma once

#include "pxmisc/PXMiscExport.h"

class ITimerPX;
class QObject;

// Routes timers to objects. One process-wide table maps a timer id to its callback, so ids must
// be unique in the whole process. Used from the thread that runs the Qt event loop.
class PXMISC_EXPORT CTimer {
public:
    // Starts (or restarts) the timer `timerId` of `window` with a period in ms (0 fires at the
    // next turn of the event loop) and points the id at `callback`, replacing any earlier one.
    // Returns the id.
    static int SetTimer(QObject* window, int timerId, int periodMs, ITimerPX* callback);
    // -1 when the id is not in the table; otherwise stops the timer, forgets the id, returns 0.
    static int KillTimer(QObject* window, int timerId);
};
