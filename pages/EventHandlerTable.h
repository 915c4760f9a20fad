#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

// Maps the small numbers a page registers with its player to the page's own handlers, so an
// event's registration value says which handler runs. Registering a handler twice gives the
// same number.
template <typename Handler> class EventHandlerTable {
public:
    uint32_t Register(Handler handler) {
        const auto found = std::find(m_handlers.begin(), m_handlers.end(), handler);
        if (found != m_handlers.end()) {
            return static_cast<uint32_t>(found - m_handlers.begin());
        }
        m_handlers.push_back(handler);
        return static_cast<uint32_t>(m_handlers.size() - 1);
    }

    // The handler registered under `id`, or nullptr when there is none.
    const Handler* Find(uint32_t id) const {
        return id < m_handlers.size() ? &m_handlers[id] : nullptr;
    }

private:
    std::vector<Handler> m_handlers;
};
