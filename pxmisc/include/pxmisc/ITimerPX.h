#pragma once

#include "pxmisc/PXMiscExport.h"

// Receives the timer events that CTimer routes to it.
class PXMISC_EXPORT ITimerPX {
public:
    ITimerPX() = default;
    ITimerPX(const ITimerPX&) = default;
    ITimerPX& operator=(const ITimerPX&) = default;

    virtual void OnTimer(int timerId) = 0;

protected:
    virtual ~ITimerPX() = default;
};
