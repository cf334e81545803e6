#pragma once
#include <cstdint>
#include <functional>
#include <map>

class dxControl;

// Event ids a control can fire; only clicks are used.
enum class ControlEvent : int32_t { Click };

// A control's handler map: one handler per event id, the first
// registration wins.
class IEventHandler {
public:
    using Handler = std::function<void(dxControl*)>;

    IEventHandler() = default;
    virtual ~IEventHandler();
    IEventHandler(const IEventHandler&) = delete;
    IEventHandler& operator=(const IEventHandler&) = delete;

    // Returns false when a handler for the id was already there (the new
    // one is dropped).
    bool Connect(ControlEvent eventId, Handler handler);

    template <class T>
    bool Connect(ControlEvent eventId, T* target, void (T::*member)(dxControl*))
    {
        if (!target || !member) return Connect(eventId, Handler());
        return Connect(eventId, [target, member](dxControl* c) { (target->*member)(c); });
    }

protected:
    // Calls the handler for the id, if any, with the given control.
    void Invoke(ControlEvent eventId, dxControl* control) const;

private:
    std::map<ControlEvent, Handler> handlers_;
};
