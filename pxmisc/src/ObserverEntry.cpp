#include "pxmisc/ObserverEntry.h"

#include <utility>

ObserverEntry::ObserverEntry(IObserver* entryObserver, std::string entryEvent, uint32_t entryData)
    : observer(entryObserver), event(std::move(entryEvent)), data(entryData) {}

ObserverEntry::~ObserverEntry() = default;
