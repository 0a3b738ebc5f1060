// Buffers.h - the shared work buffers and the program's identity, owned here so
// that every module can reach them without reaching each other.
// Line, LineBuf and Name are scratch areas overwritten by the next user: a caller
// copies out what it keeps. my_name (the program's name, set by main) and
// pToolPath (the directory holding the program, a GetMem string set by main;
// null until then) live for the run.
#pragma once

constexpr int LINEBUF_SIZE = 4096;
constexpr int LINE_SIZE = 65535;
constexpr int NAME_SIZE = 256;

extern char LineBuf[LINEBUF_SIZE];
extern char Line[LINE_SIZE];
extern char Name[NAME_SIZE];
extern char *my_name;
extern char *pToolPath;
