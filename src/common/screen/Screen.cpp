// Screen.cpp - the character screen and its terminal output through terminfo.
#include "Screen.h"

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <cerrno>
#include <string>
#include <unistd.h>

#include <curses.h>
#include <term.h>

#include "MemMgr.h"
#include "Tokens.h"

const char *pScreenTermName = "vt100";

namespace {

constexpr int WORK_SIZE = 512;
constexpr int DEFAULT_COLUMNS = 80;
constexpr int DEFAULT_LINES = 24;

struct ScreenState {
    bool TermSet;     // setupterm succeeded at least once (cur_term is ours)
    bool Ansi;        // no terminfo entry: plain ANSI sequences
    char *pRow;       // output line of one row plus its terminator
    int RowSize;      // bytes of pRow
};
ScreenState State;

// The terminal's control strings go through terminfo's own writer, which bypasses
// the stdio buffer; flushing first keeps text and control strings in order.
void PutControl(const char *seq) {
    if (!seq)
        return;
    std::fflush(stdout);
    if (State.Ansi)
        std::fputs(seq, stdout);
    else
        putp(seq);
}

char *Capability(const char *name) {
    char *cap = tigetstr(name);
    if (cap == reinterpret_cast<char *>(-1))
        return nullptr;
    return cap;
}

void ReadTerminal(TermScreen *screen) {
    int err = 0;
    // A second setupterm would leave the first terminal record behind.
    if (State.TermSet && cur_term) {
        del_curterm(cur_term);
        State.TermSet = false;
    }
    if (setupterm(pScreenTermName, 1, &err) == OK) {
        State.TermSet = true;
        State.Ansi = false;
        int nCols = tigetnum("cols");
        int nLines = tigetnum("lines");
        screen->Columns = nCols > 0 ? nCols : DEFAULT_COLUMNS;
        screen->Lines = nLines > 0 ? nLines : DEFAULT_LINES;
    } else {
        State.Ansi = true;
        screen->Columns = DEFAULT_COLUMNS;
        screen->Lines = DEFAULT_LINES;
    }
}

// The cells follow the terminal: a size change gives a new, blank buffer.
bool SizeCells(TermScreen *screen) {
    if (screen->pCells && screen->CellColumns == screen->Columns &&
        screen->CellLines == screen->Lines)
        return true;
    PutMem(screen->pCells);
    screen->pCells = static_cast<char *>(GetMem(screen->Columns * screen->Lines));
    if (!screen->pCells) {
        screen->CellColumns = screen->CellLines = 0;
        return false;
    }
    screen->CellColumns = screen->Columns;
    screen->CellLines = screen->Lines;
    return true;
}

int CellCount(const TermScreen *screen) {
    if (!screen->pCells)
        return 0;
    return screen->CellColumns * screen->CellLines;
}

bool SizeRow(int width) {
    if (State.pRow && State.RowSize == width + 1) {
        std::memset(State.pRow, 0, static_cast<size_t>(State.RowSize));
        return true;
    }
    PutMem(State.pRow);
    State.pRow = static_cast<char *>(GetMem(width + 1));
    State.RowSize = State.pRow ? width + 1 : 0;
    return State.pRow != nullptr;
}

using MString = std::basic_string<char, std::char_traits<char>, MemAllocator<char>>;

// One row of the overlay: "* ", the text up to a newline in width cells, " *".
// Returns the text after the row; *ended when nothing is left.
const char *OverlayRow(const char *text, int width, MString &row, bool *ended) {
    row.assign("* ");
    int col = 0;
    while (col < width && *text && *text != '\n') {
        row.push_back(*text++);
        ++col;
    }
    row.append(static_cast<size_t>(width - col), ' ');
    row.append(" *");
    if (*text == '\n')
        ++text;
    *ended = *text == '\0';
    return text;
}

// Sends a row of the overlay at (x, line), cut to the part that lies on the screen.
void OverlayLine(TermScreen *screen, int x, int line, const MString &row) {
    if (line < 0 || line >= screen->Lines || x >= screen->Columns)
        return;
    size_t skip = x < 0 ? static_cast<size_t>(-x) : 0;
    if (skip >= row.size())
        return;
    int left = std::max(x, 0);
    size_t room = static_cast<size_t>(screen->Columns - left);
    MoveCursor(screen, left, line);
    std::fwrite(row.data() + skip, 1, std::min(room, row.size() - skip), stdout);
}

// The wait for Enter reads the whole line the way the line reader does (no stdio
// buffer that could swallow the lines after it), so nothing typed is left over for
// the next answer.
void WaitForLine() {
    char line[WORK_SIZE];
    Gets(line, sizeof line);
}

struct TermCheck {
    char Name[WORK_SIZE];  // the TERM value checked last
    bool Usable;
};
TermCheck Checked;

}  // namespace

TermScreen *GetTermInfo(TermScreen *screen) {
    TermScreen *s = screen;
    if (!s) {
        s = static_cast<TermScreen *>(GetMem(sizeof(TermScreen)));
        if (!s)
            return nullptr;
    }
    ReadTerminal(s);
    if (!SizeCells(s)) {
        if (!screen)
            PutMem(s);
        return nullptr;
    }
    return s;
}

void FreeTermScreen(TermScreen *screen) {
    if (!screen)
        return;
    PutMem(screen->pCells);
    PutMem(screen);
}

void ClearScreen(TermScreen *screen) {
    PutControl(State.Ansi ? "\033[H\033[J" : Capability("clear"));
    FillArea(screen, 0, 0, screen->Columns, screen->Lines, ' ');
}

void FillArea(TermScreen *screen, int x, int y, int w, int h, char c) {
    if (!screen->pCells)
        return;
    int x0 = std::max(x, 0), y0 = std::max(y, 0);
    int x1 = std::min(x + w, screen->CellColumns);
    int y1 = std::min(y + h, screen->CellLines);
    for (int row = y0; row < y1; ++row)
        for (int col = x0; col < x1; ++col)
            screen->pCells[row * screen->CellColumns + col] = c;
}

void SetPosition(TermScreen *screen, int x, int y) {
    screen->CursorX = x;
    screen->CursorY = y;
}

void WriteString(TermScreen *screen, const char *fmt, ...) {
    if (screen->CursorY > screen->Lines || screen->CursorY < 1)
        screen->CursorY = 1;
    if (screen->CursorX > screen->Columns || screen->CursorX < 1)
        screen->CursorX = 0;
    char work[WORK_SIZE];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(work, sizeof work, fmt, ap);
    va_end(ap);
    if (n < 0)
        return;
    long start = static_cast<long>(screen->CursorY - 1) * screen->CellColumns + screen->CursorX;
    long end = CellCount(screen);
    for (const char *p = work; *p && start < end; ++p, ++start)
        screen->pCells[start] = *p;
}

int Refresh(TermScreen *screen) {
    int width = screen->CellColumns, height = screen->CellLines;
    if (!screen->pCells || !SizeRow(width))
        return 0;
    long cell = 0, cells = CellCount(screen);
    for (int row = 0; row < height; ++row) {
        int len = 0;
        for (int col = 0; col < width && cell < cells; ++col) {
            char c = screen->pCells[cell++];
            if (row == height - 1 && col == width - 1)
                break;  // the bottom-right cell would scroll the terminal
            State.pRow[len++] = c;
            if (c == '\n')
                break;
        }
        State.pRow[len] = '\0';
        std::printf("%s", State.pRow);
    }
    std::fflush(stdout);
    return 0;
}

void MoveCursor(TermScreen *screen, int x, int y) {
    if (State.Ansi) {
        char seq[32];
        std::snprintf(seq, sizeof seq, "\033[%d;%dH", y + 1, x + 1);
        PutControl(seq);
    } else {
        char *cup = Capability("cup");
        if (cup)
            PutControl(tparm(cup, y, x));
    }
    screen->CursorX = x;
    screen->CursorY = y;
}

void SetOvlInfo(TermScreen *screen, int x, int y, int w, int h) {
    screen->OvlX = x;
    screen->OvlY = y;
    screen->OvlWidth = w;
    screen->OvlHeight = h;
}

void Overlay(TermScreen *screen, const char *text, int wait) {
    int savedX = screen->CursorX, savedY = screen->CursorY;
    int x = screen->OvlX, y = screen->OvlY;
    int w = std::max(screen->OvlWidth, 0), h = std::max(screen->OvlHeight, 0);
    MString edge(static_cast<size_t>(w) + 4, '*');
    MString row;
    OverlayLine(screen, x, y, edge);
    const char *p = text ? text : "";
    bool ended = false;
    int line = y + 1;
    do {
        p = OverlayRow(p, w, row, &ended);
        OverlayLine(screen, x, line++, row);
    } while (!ended && line <= y + h + 3);
    int pressLine = line;
    if (ended) {
        if (wait) {
            row.assign("* Press enter");
            row.append(static_cast<size_t>(std::max(w + 4 - 14, 0)), ' ');
            row.push_back('*');
            OverlayLine(screen, x, line++, row);
        }
        OverlayLine(screen, x, line, edge);
    }
    if (wait) {
        MoveCursor(screen, std::min(x + 15, screen->Columns - 1), std::min(pressLine, screen->Lines - 1));
        std::fflush(stdout);
        WaitForLine();
    }
    MoveCursor(screen, savedX, savedY);
    std::fflush(stdout);
}

int TermTypeUsable() {
    const char *term = std::getenv("TERM");
    if (!term || !*term || std::strlen(term) >= sizeof Checked.Name)
        return 0;
    if (std::strcmp(term, Checked.Name) == 0)
        return Checked.Usable ? 1 : 0;
    // The check must leave the screen's own terminal record as it was.
    TERMINAL *saved = cur_term;
    int err = 0;
    bool usable = setupterm(term, 1, &err) == OK;
    if (usable && cur_term != saved)
        del_curterm(cur_term);
    set_curterm(saved);
    std::snprintf(Checked.Name, sizeof Checked.Name, "%s", term);
    Checked.Usable = usable;
    return usable ? 1 : 0;
}

void NumberScreen(TermScreen *screen) {
    int cells = CellCount(screen);
    for (int i = 0; i < DEFAULT_COLUMNS * DEFAULT_LINES && i < cells; ++i)
        screen->pCells[i] = static_cast<char>('0' + i % 10);
}
