#include "engine/ITask.h"

#include <objbase.h>

#include <cstdio>

std::string ITask::FormatGuid(const GUID& g)
{
    char text[64] = {};
    snprintf(text, sizeof(text), "%08lX-%04X-%04x-%02X%02X-%02X%02X%02X%02X%02X%02X",
             static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
             g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

void ITask::CreateGuid()
{
    GUID guid = {};
    CoCreateGuid(&guid);
    std::string text = FormatGuid(guid);
    snprintf(taskGuid_, sizeof(taskGuid_), "%s", text.c_str());
    kind_ = Kind::Named;
}
