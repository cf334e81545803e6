#include "ui/IEventHandler.h"

IEventHandler::~IEventHandler() = default;

bool IEventHandler::Connect(int32_t eventId, Handler handler)
{
    return handlers_.emplace(eventId, std::move(handler)).second;
}

bool IEventHandler::HasHandler(int32_t eventId) const { return handlers_.count(eventId) != 0; }

void IEventHandler::Invoke(int32_t eventId, dxControl* control) const
{
    auto it = handlers_.find(eventId);
    if (it == handlers_.end() || !it->second) return;
    // Copy first: the handler may reconnect or destroy things around us.
    Handler handler = it->second;
    handler(control);
}
