#include "pxmisc/IObserver.h"

void IObserver::Update(ISubject* /*subject*/, std::string /*event*/, uint32_t /*data*/,
                       uint32_t /*arg1*/, uint32_t /*arg2*/) {}

IObserver::~IObserver() = default;
