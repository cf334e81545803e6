#include "ui/IEventHandler.h"

IEventHandler::~IEventHandler() = default;

bool IEventHandler::Connect(ControlEvent eventId, Handler handler)
{
    return handlers_.emplace(eventId, std::move(handler)).second;
}

void IEventHandler::Invoke(ControlEvent eventId, dxControl* control) const
{
    auto it = handlers_.find(eventId);
    if (it == handlers_.end() || !it->second) return;
    // Copy first: the handler may reconnect or destroy things around us.
    Handler handler = it->second;
    handler(control);
}
