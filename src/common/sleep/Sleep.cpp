// Sleep.cpp - the sleep seam.
#include "Sleep.h"

#include <unistd.h>

void (*pSleepHook)(unsigned seconds) = nullptr;

void SysSleep(unsigned seconds) {
    if (pSleepHook) {
        pSleepHook(seconds);
        return;
    }
    unsigned left = seconds;
    while (left > 0)
        left = sleep(left);  // resumes after a signal interrupted the wait
}
