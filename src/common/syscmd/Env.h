// Env.h - what the program learns about its surroundings: the environment, its own
// directory, the host and the user. Each returns a GetMem string the caller frees,
// null when the value cannot be had.
#pragma once

// Saved copy of the variable's value, or null when it is not set.
char *GetEnv(const char *name);
// The absolute directory holding the program, from the name it was started by.
// Only a leading "./" or the first "../" is resolved; the search path is not used,
// so a bare name is taken to lie in the current directory.
char *GetToolPath(const char *argv0);
// Host name cut at the first CR or LF, or null.
char *GetHostname();
// First line of "whoami" (row CMD_WHOAMI) cut at CR/LF, or null (also when whoami
// cannot be located).
char *GetUserName();
