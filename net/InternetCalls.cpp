#include "net/InternetCalls.h"

#ifdef QUORVEX_INTERNET_SEAM
InternetCalls& InternetCalls::Table()
{
    static InternetCalls table;
    return table;
}
#endif
