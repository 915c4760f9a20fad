#pragma once

#include "pxmisc/ObserverEntry.h"
#include "pxmisc/PXMiscExport.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class IObserver;

// Announces named events, each with two numbers, to the observers registered for that name,
// in registration order. It does not own its observers: an observer must remove itself before
// it is destroyed.
class PXMISC_EXPORT ISubject {
public:
    // A copy notifies the same observers.
    ISubject(const ISubject& other);
    ISubject& operator=(const ISubject& other);

    // Appends a registration; registering twice means being called twice.
    void AddObserver(IObserver* observer, const std::string& event, uint32_t data);
    // Removes every registration of `observer`, whatever the event; the rest keep their order.
    void RemoveObserver(IObserver* observer);
    // Calls Update for every registration of exactly `event`. A registration added during the
    // delivery is reached in the same pass; one removed during it is not, and no other is
    // skipped or called twice because of the removal.
    void NotifyObservers(const std::string& event, uint32_t arg1, uint32_t arg2);

protected:
    ISubject();
    virtual ~ISubject();

private:
    std::vector<ObserverEntry> m_entries;
    // The positions of the deliveries under way (deliveries can nest), kept in step with
    // removals so a walk by position neither skips nor repeats an entry.
    std::vector<std::size_t*> m_cursors;
};
