// MediaList.h - the lines and names of a media list ("disks", or "DISKS" on a DOS
// diskette): the names of diskette i on line i; a line that is exactly
// "end_of_list" ends it and empty lines are skipped; blanks and tabs separate the
// names of a line, and a name "end_of_list" ends the line.
#pragma once
#include <cstring>

#include "Buffers.h"
#include "MemMgr.h"
#include "StrUtils.h"
#include "Tokens.h"

inline constexpr char kEndOfList[] = "end_of_list";

// Calls fn(lineNumber, line) for each line of the list up to the end marker; the
// line is writable and lives until fn returns.
template <class Fn> void ForEachListLine(const char *list, Fn fn) {
    MemStr copy(SaveStr_(list));
    int number = 0;
    for (char *line = copy.get(); line && *line != '\0';) {
        char *next = strchr(line, '\n');
        if (next)
            *next++ = '\0';
        if (strcmp(line, kEndOfList) == 0)
            break;
        if (*line != '\0')
            fn(++number, line);
        line = next;
    }
}

// Calls fn(name) for each file named on a line (blanks and tabs separate names) up
// to a word "end_of_list".
template <class Fn> void ForEachListWord(const char *line, Fn fn) {
    const char *cursor = nullptr;
    char word[LINEBUF_SIZE];
    for (const char *in = line; GetTokenD(in, " \t\r", &cursor, word, sizeof word); in = nullptr) {
        if (strcmp(word, kEndOfList) == 0)
            break;
        fn(word);
    }
}
