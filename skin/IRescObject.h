#pragma once

// Base of every object that the resource store makes and caches.
class IRescObject {
public:
    virtual ~IRescObject() = default;
};
