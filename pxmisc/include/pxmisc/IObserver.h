#pragma once

#include "pxmisc/PXMiscExport.h"

#include <cstdint>
#include <string>

class ISubject;

// Receives the named events of the subjects it registered with.
class PXMISC_EXPORT IObserver {
public:
    IObserver(const IObserver&) = default;
    IObserver& operator=(const IObserver&) = default;

    // Called once per matching registration; `data` is the value given at registration.
    virtual void Update(ISubject* subject, std::string event, uint32_t data, uint32_t arg1,
                        uint32_t arg2);

protected:
    IObserver() = default;
    virtual ~IObserver();
};
