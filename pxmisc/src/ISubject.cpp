#include "pxmisc/ISubject.h"

#include "pxmisc/IObserver.h"

ISubject::ISubject() = default;

ISubject::~ISubject() = default;

ISubject::ISubject(const ISubject& other) : m_entries(other.m_entries) {}

ISubject& ISubject::operator=(const ISubject& other) {
    m_entries = other.m_entries;
    return *this;
}

void ISubject::AddObserver(IObserver* observer, const std::string& event, uint32_t data) {
    m_entries.emplace_back(observer, event, data);
}

void ISubject::RemoveObserver(IObserver* observer) {
    // From the back, so the positions still to be erased stay where they are.
    for (std::size_t i = m_entries.size(); i-- > 0;) {
        if (m_entries[i].observer != observer) {
            continue;
        }
        m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(i));
        for (std::size_t* cursor : m_cursors) {
            if (i < *cursor) {
                --*cursor;
            }
        }
    }
}

void ISubject::NotifyObservers(const std::string& event, uint32_t arg1, uint32_t arg2) {
    // By position, re-reading the length at every step: a registration appended from inside
    // an Update is reached in this same pass. RemoveObserver moves the cursor back when it
    // erases at or before it. The cursor names the next entry to visit.
    std::size_t next = 0;
    struct CursorScope {
        std::vector<std::size_t*>& cursors;
        ~CursorScope() { cursors.pop_back(); }
    };
    m_cursors.push_back(&next);
    const CursorScope scope{m_cursors};
    while (next < m_entries.size()) {
        const ObserverEntry entry = m_entries[next];
        ++next;
        if (entry.event == event) {
            entry.observer->Update(this, entry.event, entry.data, arg1, arg2);
        }
    }
}
