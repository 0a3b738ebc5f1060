// Screen.h - a character screen composed in memory and sent to the terminal at once.
// GetTermInfo(s) initialises terminfo for the terminal "vt100" (cols and lines follow
// the real window size or COLUMNS/LINES; 80 x 24 and plain ANSI sequences when no
// terminfo entry can be had) and returns s, or a new record (GetMem) when s is null.
// The cells are (re)allocated whenever the size differs from the cells' size.
// The caller keeps the record for the life of the program.
// Cell operations clip to the screen. WriteString addresses lines from 1 (line 0 and
// line 1 are both the first row) and columns from 0; it never moves the cursor fields.
// Refresh writes every row with one formatted write and flushes once; the bottom-right
// cell is never output, and a newline cell ends its row early (the rows after it
// continue with the cell after the newline).
// Overlay draws a box of asterisks straight on the terminal and, when asked, waits for
// Enter: it reads one whole line (an end of input just returns). Single-threaded.
// TermTypeUsable: 1 when the environment's TERM names a terminal type terminfo
// knows, 0 when it is unset, empty or unknown (checked once per value of TERM).
#pragma once
#include <cstdint>
#include "Attrs.h"

struct TermScreen {
    int32_t Columns;    // terminal width in characters
    int32_t Lines;      // terminal height in lines
    int32_t CursorX;    // column set by SetPosition or MoveCursor, from 0
    int32_t CursorY;    // line set by SetPosition or MoveCursor (WriteString: from 1)
    int32_t OvlX;       // top-left corner of the overlay box
    int32_t OvlY;
    int32_t OvlWidth;   // inner size of the overlay box: characters per row
    int32_t OvlHeight;  // and text rows
    char *pCells;       // Columns x Lines bytes, row after row, no terminators
    int32_t CellColumns;  // size the cells were allocated for
    int32_t CellLines;
};

// The terminfo entry GetTermInfo uses: "vt100" (the environment's TERM is not
// consulted). Tests name a missing entry to see the fallback.
extern const char *pScreenTermName;

TermScreen *GetTermInfo(TermScreen *screen);
void ClearScreen(TermScreen *screen);
void FillArea(TermScreen *screen, int x, int y, int w, int h, char c);
void SetPosition(TermScreen *screen, int x, int y);
void WriteString(TermScreen *screen, const char *fmt, ...) PRINTF_LIKE(2, 3);
int Refresh(TermScreen *screen);
void MoveCursor(TermScreen *screen, int x, int y);
void SetOvlInfo(TermScreen *screen, int x, int y, int w, int h);
void Overlay(TermScreen *screen, const char *text, int wait);
void NumberScreen(TermScreen *screen);
int TermTypeUsable();
// Releases a record made by GetTermInfo and its cells (tests; the program keeps it).
void FreeTermScreen(TermScreen *screen);
