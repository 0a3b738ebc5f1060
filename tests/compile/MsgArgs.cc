// Compiled by the "messages" tests, never linked: a printing call whose arguments
// do not match its message must not compile; the same call with the right ones must.
#include "MsgFormat.h"

void PrintNoWorkSpace() {
#ifdef WRONG_ARGUMENTS
    MsgPrintf<MSG_NO_WORK_SPACE>(stdout, 42, "oops");
#else
    MsgPrintf<MSG_NO_WORK_SPACE>(stdout, "/tmp", 1e9);
#endif
}
