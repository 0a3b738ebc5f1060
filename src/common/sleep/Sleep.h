// Sleep.h - the one place the program waits (pauses after commands, process
// checks, retries). Tests replace pSleepHook to record or skip the waits.
#pragma once

void SysSleep(unsigned seconds);
// When set, SysSleep calls it instead of sleeping.
extern void (*pSleepHook)(unsigned seconds);
