// Picker.cpp - the full-screen picker of pick items: drawing in the screen buffer and
// its input loop.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "Files.h"
#include "MemMgr.h"
#include "NlsUtils.h"
#include "Screen.h"
#include "TextMenu.h"
#include "TextMenuPriv.h"
#include "Tokens.h"

using namespace textmenu;

namespace {

constexpr int WIDTH_CAPACITY = 512;
constexpr int COLUMN_GAP = 7;    // room of the marker and the number beside a column's texts
constexpr int NUMBER_OFFSET = 4; // "%2d) " after the " ->" marker
constexpr int TEXT_OFFSET = 8;   // the state text after its number

struct Picker {
    TermScreen *pScreen;  // created on the first first-page draw, kept for the run
    int Widths[WIDTH_CAPACITY];
    int Rows;             // rows per column: lines - 6
    char *pSelection;     // current-selection text, grown to fit the state list
    int SelectionSize;
    int LaidColumns;      // the window size the widths and rows were computed for
    int LaidLines;
    int Offset;           // offset of the page drawn last (0 after a size change)
};
Picker Pick;

bool SizeSelection(const TextMenuItem *item) {
    int need = static_cast<int>(std::strlen(item->pStates)) + item->StateCnt + 2;
    if (Pick.pSelection && Pick.SelectionSize >= need)
        return true;
    char *grown = static_cast<char *>(AdjustMem(Pick.pSelection, need));
    if (!grown)
        return false;
    Pick.pSelection = grown;
    Pick.SelectionSize = need;
    return true;
}

void AppendSelection(const char *text, bool blank) {
    size_t used = std::strlen(Pick.pSelection);
    size_t room = static_cast<size_t>(Pick.SelectionSize) - used;
    std::snprintf(Pick.pSelection + used, room, blank ? "%s " : "%s", text);
}

// The longest state text of the list (its marker counted), whatever the window.
int WidestState(const TextMenuItem *item) {
    int widest = 0;
    for (const char *p = item->pStates; p && *p;) {
        int len = static_cast<int>(std::strcspn(p, ","));
        widest = std::max(widest, len);
        p += len;
        p += std::strspn(p, ",");
    }
    return widest;
}

bool ScreenTooSmall(const TermScreen *s, const TextMenuItem *item) {
    int labels = static_cast<int>(std::strlen(KVATTYMENU_SAVE) + std::strlen(KVATTYMENU_CANCEL));
    int needed = WidestState(item) / 2 + 20;
    if (Pick.Rows >= 1 && s->Columns >= labels && s->Columns >= needed)
        return false;
    PrintMessage(25, 206, "The screen is too small for this list.");
    PrintMessage(25, 207, "It has %i columns and %i lines;", s->Columns, s->Lines);
    PrintMessage(25, 208, " at least %i columns and %i lines are needed.", std::max(needed, labels), 7);
    std::fflush(stdout);
    WaitForReturn();
    return true;
}

// The column that holds the state at the offset.
int FirstColumn(int offset) {
    if (offset == 0 || Pick.Rows < 1)
        return 0;
    return std::min(offset / Pick.Rows, WIDTH_CAPACITY - 1);
}

// How many columns from first fit across the screen, and their total width.
int FitColumns(const TermScreen *s, int first, int *total) {
    int count = 0;
    *total = 0;
    for (int col = first; col < WIDTH_CAPACITY && *total < s->Columns && Pick.Widths[col] > 0; ++col) {
        int width = Pick.Widths[col];
        if (*total + width + COLUMN_GAP > s->Columns) {
            if (count == 0 && *total + width / 2 + COLUMN_GAP <= s->Columns) {
                ++count;
                *total = s->Columns;
            }
            break;
        }
        ++count;
        *total += width + COLUMN_GAP;
    }
    return count;
}

// Skips offset states by their commas; null when the list is shorter.
const char *SkipStates(const char *states, int offset) {
    const char *p = states;
    for (int k = 0; k < offset; ++k) {
        p = std::strchr(p, ',');
        if (!p)
            return nullptr;
        ++p;
    }
    return p;
}

void WriteStateText(TermScreen *s, int x, int line, const char *text, bool firstColumn) {
    int len = static_cast<int>(std::strlen(text));
    // Measured from where the text starts, so that a cut text ends inside its row.
    int room = s->Columns - (x + TEXT_OFFSET);
    SetPosition(s, x + TEXT_OFFSET, line);
    if (room >= len || !firstColumn) {
        WriteString(s, "%s", text);
        return;
    }
    int keep = std::max(room - 3, 0);
    WriteString(s, "%.*s...", keep, text);
}

struct PageLayout {
    int First;   // first column index
    int Count;   // columns shown
    int Total;   // their width
};

// Draws the states of one page; returns how many were drawn, 0 when the list ran out.
int DrawStates(TermScreen *s, TextMenuItem *item, uint32_t *hiddenMask, int offset, int perPage,
               const PageLayout &page) {
    int line = 3, position = 0, column = page.First;
    for (int i = 0; i < perPage; ++i) {
        int shift = (page.Count >= 2 && i >= Pick.Rows) ? (s->Columns - page.Total) / page.Count : 0;
        const char *token = GetToken(nullptr, ",");
        if (!token)
            return 0;
        if (i > 0 && i % Pick.Rows == 0) {
            line = 3;
            position += (column < WIDTH_CAPACITY ? Pick.Widths[column] : 0) + COLUMN_GAP;
            ++column;
        }
        int number = offset + i;  // state number less one
        bool withheld = token[0] == ' ';
        if (withheld && number < 32)
            *hiddenMask |= 1u << number;
        const char *text = (token[0] == ' ' || token[0] == '_') ? token + 1 : token;
        bool chosen = item->Type == MENUITEM_PICKONE
                          ? item->Value.i == number
                          : number < 32 && (static_cast<uint32_t>(item->Value.i) & (1u << number));
        if (chosen) {
            SetPosition(s, position + shift, line);
            WriteString(s, "%s", " ->");
        }
        if (!withheld) {
            SetPosition(s, position + shift + NUMBER_OFFSET, line);
            WriteString(s, "%2d) ", number + 1);
        }
        WriteStateText(s, position + shift, line, text, i < Pick.Rows);
        ++line;
    }
    return perPage;
}

// The current state's text of a pick-one item, or the texts of every chosen state of
// a pick-many item, whichever page shows them.
void SelectCurrentState(const TextMenuItem *item) {
    Pick.pSelection[0] = '\0';
    int withheld = 0;
    if (item->Type == MENUITEM_PICKONE) {
        const char *text = GetStateText(item, item->Value.i + 1, &withheld);
        if (text && !withheld)
            AppendSelection(text, false);
        return;
    }
    uint32_t mask = static_cast<uint32_t>(item->Value.i);
    for (int n = 1; n <= item->StateCnt && n <= 32; ++n) {
        const char *text = (mask & (1u << (n - 1))) ? GetStateText(item, n, &withheld) : nullptr;
        if (text)
            AppendSelection(text, true);
    }
}

}  // namespace

int GetColumnWidths(TermScreen *screen, TextMenuItem *item, int *widths, int capacity) {
    int rows = std::min(screen->Lines - 6, item->StateCnt);
    if (rows < 1 || !item->pStates)
        return 0;
    int widest = 0;
    const char *token = GetToken(item->pStates, ",");
    for (int col = 0; token && col < capacity; ++col) {
        for (int r = 0; r < rows && token; ++r) {
            int len = static_cast<int>(std::strlen(token));
            widths[col] = std::max(widths[col], len);
            widest = std::max(widest, len);
            token = GetToken(nullptr, ",");
        }
    }
    return widest;
}

void WriteScreenFrame(TermScreen *screen, TextMenuItem *item, const char *selection) {
    LoadPickerLabels();
    int columns = screen->Columns, lines = screen->Lines;
    SetPosition(screen, (columns - item->TextLen) / 2, 1);
    WriteString(screen, "%s", item->pText);
    SetPosition(screen, 0, lines - 2);
    WriteString(screen, "%s", KVATTYMENU_SAVE);
    SetPosition(screen, columns / 2, lines - 2);
    WriteString(screen, "%s", KVATTYMENU_CANCEL);
    char line[MSG_SIZE];
    int limit = columns - static_cast<int>(std::strlen(KVATTYMENU_CURSEL)) + 2;
    const char *sel = selection ? selection : "";
    if (limit < static_cast<int>(std::strlen(sel))) {
        char cut[MSG_SIZE];
        std::snprintf(cut, sizeof cut, "%.*s", std::max(limit - 3, 0), sel);
        NlsFormatChecked(line, sizeof line, KVATTYMENU_CURSELTRUNC, cut, "%s", cut);
    } else {
        NlsFormatChecked(line, sizeof line, KVATTYMENU_CURSEL, sel, "%s", sel);
    }
    SetPosition(screen, 0, lines - 1);
    WriteString(screen, "%s", line);
    SetPosition(screen, 0, lines);
    WriteString(screen, "%s", KVATTYMENU_OPTION);
}

namespace {

// The first-page set-up: the widths and rows for the window as it is now. False
// when the window is too small (reported) or cannot be read.
bool LayOut(TermScreen *s, TextMenuItem *item, uint32_t *hiddenMask) {
    Pick.pScreen = s;
    LoadPickerLabels();
    *hiddenMask = 0;
    std::fill(Pick.Widths, Pick.Widths + WIDTH_CAPACITY, 0);
    GetColumnWidths(s, item, Pick.Widths, WIDTH_CAPACITY);
    Pick.Rows = s->Lines - 6;
    Pick.LaidColumns = s->Columns;
    Pick.LaidLines = s->Lines;
    return !ScreenTooSmall(s, item);
}

}  // namespace

int PrintPickOneManyScreen(TextMenuItem *item, uint32_t *hiddenMask, int offset) {
    if (!item->pStates)
        return -1;
    // The window is read on every draw: after a change of size the layout of the
    // pages is made again and the first page is shown.
    TermScreen *s = GetTermInfo(Pick.pScreen);
    if (!s)
        return -1;
    Pick.pScreen = s;
    if (offset != 0 && (s->Columns != Pick.LaidColumns || s->Lines != Pick.LaidLines))
        offset = 0;
    Pick.Offset = offset;
    if (offset == 0 && !LayOut(s, item, hiddenMask))
        return -1;
    if (Pick.Rows < 1 || !SizeSelection(item))
        return -1;
    SelectCurrentState(item);
    const char *rest = SkipStates(item->pStates, offset);
    if (!rest)
        return -1;
    SetTokenBuf(rest);
    ClearScreen(s);
    SetPosition(s, 0, 0);
    PageLayout page{FirstColumn(offset), 0, 0};
    page.Count = FitColumns(s, page.First, &page.Total);
    int product = Pick.Rows * page.Count;
    int perPage = item->StateCnt > product ? product : item->StateCnt - offset;
    int drawn = DrawStates(s, item, hiddenMask, offset, perPage, page);
    WriteScreenFrame(s, item, Pick.pSelection);
    Refresh(s);
    MoveCursor(s, static_cast<int>(std::strlen(KVATTYMENU_OPTION)), s->Lines - 1);
    std::fflush(stdout);
    return drawn;
}

namespace {

int NextOffset(int offset, int drawn, int count) {
    int next = drawn == 0 ? 0 : offset + drawn;
    return next >= count ? 0 : next;
}

// Numbers of the answer, split at commas, blanks and tabs; returns whether any was taken.
bool TakeNumbers(const TextMenuItem *item, uint32_t hiddenMask, int *working) {
    bool taken = false;
    char *p = LineBuf;
    while (*p) {
        size_t skip = std::strspn(p, ", \t");
        p += skip;
        size_t len = std::strcspn(p, ", \t");
        if (len == 0)
            break;
        if (std::isalnum(static_cast<unsigned char>(*p))) {
            int n = ParseInt(p);
            bool inMask = n >= 1 && n <= 32 && (hiddenMask & (1u << (n - 1)));
            bool usable = n >= 1 && n <= item->StateCnt && !inMask && StateOffered(item, n);
            if (usable && item->Type == MENUITEM_PICKMANY && n > 32)
                usable = false;
            if (usable) {
                if (item->Type == MENUITEM_PICKONE)
                    *working = n - 1;
                else
                    *working = static_cast<int>(static_cast<uint32_t>(*working) ^ (1u << (n - 1)));
                taken = true;
            }
        }
        p += len;
    }
    return taken;
}

void ApplyPickerValue(TextMenu *menu, int index, int value) {
    TextMenuItem *item = &menu->pItems[index];
    item->PrevValue = item->Value.i;
    item->Value.i = value;
    ProcessStateFormat(menu, index);
    if (item->pfnHandler)
        item->pfnHandler(menu, item);
}

bool IsKey(char answer, const char *label) {
    return label && label[0] &&
           std::tolower(static_cast<unsigned char>(answer)) ==
               std::tolower(static_cast<unsigned char>(label[0]));
}

}  // namespace

void ProcessStateValue(TextMenu *menu, int index, char *option) {
    TextMenuItem *item = ItemAt(menu, index);
    if (!item)
        return;
    MenuValue restore = item->Value;
    int offset = 0;
    for (;;) {
        uint32_t hidden = 0;
        int drawn = PrintPickOneManyScreen(item, &hidden, offset);
        if (drawn < 0)
            return;
        offset = Pick.Offset;  // the first page again when the window changed size
        int next = NextOffset(offset, drawn, item->StateCnt);
        // The option text is the first answer only: it lives in LineBuf, which the
        // next read overwrites.
        bool answered = true;
        if (option && *option)
            std::memmove(LineBuf, option, std::strlen(option) + 1);
        else
            answered = ReadMenuAnswer(LineBuf, LINEBUF_SIZE);
        option = nullptr;
        if (!answered)
            continue;  // too long: reported, and the same page is drawn again
        char c = LineBuf[0];
        if (c == '\0') {
            offset = next;
            continue;
        }
        if (IsKey(c, KVATTYMENU_SAVE))
            return;
        if (IsKey(c, KVATTYMENU_CANCEL)) {
            ApplyPickerValue(menu, index, restore.i);
            return;
        }
        int working = item->Value.i;
        if (std::isalnum(static_cast<unsigned char>(c)) && TakeNumbers(item, hidden, &working))
            ApplyPickerValue(menu, index, working);
        else
            offset = next;
    }
}
