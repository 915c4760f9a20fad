#pragma once

#include "pxmisc/PXMiscExport.h"

#include <cstdint>
#include <string>

class IObserver;

// One registration with a subject: whom to call, for which event name, with which user value.
class PXMISC_EXPORT ObserverEntry {
public:
    ObserverEntry() = default;
    ObserverEntry(IObserver* observer, std::string event, uint32_t data);
    ObserverEntry(const ObserverEntry&) = default;
    ObserverEntry& operator=(const ObserverEntry&) = default;
    virtual ~ObserverEntry();

    IObserver* observer = nullptr; // not owned
    std::string event;             // matched exactly, case-sensitively
    uint32_t data = 0;             // handed back on every delivery
};
