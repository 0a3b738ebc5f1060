// NlsSetup.h - the installer's built-in messages in six languages.
// NlsSetupStrCvt(n) returns message n (a NlsSetupMsg) of the language chosen from LANG at
// the first call (kept for the run); the empty string for any other n. The texts
// are ISO-8859-1 bytes, used as printf formats with the English arguments.
#pragma once
#include "NlsSetupMessages.h"

extern const char *const NLS_ENGLISH[NLS_SETUP_COUNT];
extern const char *const NLS_SPANISH[NLS_SETUP_COUNT];
extern const char *const NLS_ITALIAN[NLS_SETUP_COUNT];
extern const char *const NLS_FRENCH[NLS_SETUP_COUNT];
extern const char *const NLS_GERMAN[NLS_SETUP_COUNT];
extern const char *const NLS_PORTUGUESE[NLS_SETUP_COUNT];

const char *NlsSetupStrCvt(unsigned int n);
// Test seam: forget the chosen language so the next call looks at LANG again.
void NlsSetupReset();
