#pragma once
#include <cstdint>

#include "engine/DownloadEvents.h"

// Where the controller reports the outcomes of the current task. OnNotify is
// called under the controller's listener lock, so it must only post.
class IListener {
public:
    virtual void OnNotify(int32_t code, void* param) = 0;

protected:
    ~IListener() = default;
};
