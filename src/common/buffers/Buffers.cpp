// Buffers.cpp - definitions of the shared buffers and the program's identity.
#include "Buffers.h"

char LineBuf[LINEBUF_SIZE];
char Line[LINE_SIZE];
char Name[NAME_SIZE];
char *my_name = nullptr;
char *pToolPath = nullptr;
