#pragma once
#include "ui/IMessageMap.h"
#include "ui/dxWindow.h"

// A window handle together with the operations of its message map.
class dxWindowImplRoot : public dxWindow, public IMessageMap {};
