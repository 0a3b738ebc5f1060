// Render.cpp - the ordinary menu screen, printed line by line on standard output.
#include <cstdio>
#include <cstring>

#include "NlsUtils.h"
#include "Screen.h"
#include "SysCmd.h"
#include "TextMenu.h"
#include "TextMenuPriv.h"

using namespace textmenu;

namespace {

constexpr int SCREEN_WIDTH = 80;
constexpr int CELL_SIZE = 256;

void PrintBlanks(int n) {
    for (int i = 0; i < n; ++i)
        std::putchar(' ');
}

void PrintTitle(const TextMenu *menu, int titleLen) {
    const char *title = menu->pTitle ? menu->pTitle : "";
    switch (menu->TitleStyle) {
    case 0:
        std::printf("\f\n%s:\n\n", title);
        break;
    case 1:
        std::printf("\f\n");
        if (titleLen < SCREEN_WIDTH + 1)
            PrintBlanks((SCREEN_WIDTH - titleLen) / 2);
        std::printf("%s\n\n", title);
        break;
    case 2:
        std::printf("\f\n");
        if (titleLen <= SCREEN_WIDTH)
            PrintBlanks(SCREEN_WIDTH - titleLen);
        std::printf("%s\n\n", title);
        break;
    default:
        break;
    }
}

void PrintPickManyValue(const TextMenuItem *item) {
    PrintMessage(25, 270, " [");
    uint32_t mask = static_cast<uint32_t>(item->Value.i);
    if (mask == 1) {
        PrintMessage(25, 271, "default");
    } else {
        bool first = true;
        for (int bit = 0; bit < 32; ++bit) {
            if (!(mask & (1u << bit)))
                continue;
            std::printf(first ? "%i" : ",%i", bit + 1);
            first = false;
        }
    }
    std::printf("]");
}

// The dots that line the values up, then the value in brackets.
void PrintValue(const TextMenuItem *item, int maxWidth) {
    for (int i = item->TextLen; i < maxWidth; ++i)
        std::putchar('.');
    switch (item->Type) {
    case MENUITEM_PICKONE: {
        int withheld = 0;
        const char *state = GetStateText(item, item->Value.i + 1, &withheld);
        if (!state || withheld)
            std::printf(" [ ]");
        else
            std::printf(" [%i. %s]", item->Value.i + 1, state);
        break;
    }
    case MENUITEM_PICKMANY:
        PrintPickManyValue(item);
        break;
    case MENUITEM_NAME:
    case MENUITEM_STRING: {
        const char *text = static_cast<const char *>(item->Value.p);
        std::printf(" [%s]", text ? text : "");
        break;
    }
    case MENUITEM_INT:
        std::printf(" [%i]", item->Value.i);
        break;
    case MENUITEM_FLOAT:
        std::printf(" [%.3f]", static_cast<double>(item->Value.f));
        break;
    default:
        break;
    }
}

// An item of kind 2 or 4 and above: false when it printed nothing.
bool PrintSelectable(const TextMenuItem *item, int maxWidth) {
    if (item->State == MENUSTATE_HIDDEN)
        return false;
    if (item->State == MENUSTATE_INACTIVE)
        std::printf("%*s  %s ", 2, " ", item->pText);
    else if (IsLettered(item))
        std::printf(" %c) %s ", item->Key, item->pText + 3);
    else
        std::printf("%2i) %s ", item->Key, item->pText);
    if (item->Type >= MENUITEM_PICKONE && item->Type <= MENUITEM_FLOAT)
        PrintValue(item, maxWidth);
    return true;
}

void PrintPrompt(const TextMenu *menu) {
    char format[MSG_SIZE], store[MSG_SIZE], help[MSG_SIZE], ret[MSG_SIZE];
    FetchText(25, 510, format, sizeof format);
    FetchText(25, 230, store, sizeof store);
    FetchText(25, 231, help, sizeof help);
    FetchText(25, 232, ret, sizeof ret);
    NlsPrintChecked(stdout, format, "25_510", "\nEnter a number%s%s%s: ",
                    (menu->Flags & (MENU_STOREASK | MENU_STOREEXIT)) ? store : "",
                    (menu->Flags & MENU_HELP) ? help : "",
                    (menu->Flags & MENU_NORETURNEXIT) ? "" : ret);
    std::fflush(stdout);
}

int BarColumns(int value) {
    if (value <= 0)
        return 3;
    return value > SCREEN_WIDTH ? SCREEN_WIDTH : value;
}

void PrintBarCell(const TextMenuItem *item, int width, int len) {
    char cell[CELL_SIZE];
    if (IsLettered(item)) {
        int filler = width - 3 - len;
        std::snprintf(cell, sizeof cell, " %c) %s%*s ", item->Key, item->pText + 3,
                      filler > 0 ? filler : 0, "");
    } else {
        int filler = width - 5 - len;
        std::snprintf(cell, sizeof cell, "%2i) %s%*s", item->Key, item->pText, filler > 0 ? filler : 0,
                      "");
    }
    // A cell keeps width - 1 characters and ends in a blank.
    if (width >= 2 && static_cast<int>(std::strlen(cell)) >= width - 1) {
        cell[width - 2] = ' ';
        cell[width - 1] = '\0';
    }
    std::printf("%s", cell);
}

}  // namespace

TextMenuItem *PrintMenuBarItem(TextMenuItem *opener, int kind, int *index, int *number) {
    int columns = BarColumns(opener->Value.i);
    int width = SCREEN_WIDTH / columns;
    int position = 0;
    TextMenuItem *item = opener;
    while (item[1].pText && (kind == MENUITEM_BAR || item[1].Type == MENUITEM_TEXT)) {
        ++item;
        ++*index;
        if ((kind == MENUITEM_ROWBAR && item->Type == MENUITEM_TEXT) ||
            (kind == MENUITEM_BAR && item->Type == MENUITEM_BAR)) {
            std::printf("\n");
            columns = BarColumns(item->Value.i);
            width = SCREEN_WIDTH / columns;
            position = 0;
            continue;
        }
        int len = static_cast<int>(std::strlen(item->pText));
        if (position + len > SCREEN_WIDTH || (position != 0 && len > width - 5)) {
            std::printf("\n");
            position = 0;
        }
        ++*number;
        if (item->State == MENUSTATE_HIDDEN)
            continue;
        PrintBarCell(item, width, len);
        if (len > width - columns) {
            std::printf("\n");
            position = 0;
        } else {
            position += width;
        }
    }
    return item;
}

int PrintMenu(TextMenu *menu, int maxWidth, int titleLen) {
    std::fflush(stdout);
    // Without a usable terminal type clear has nothing to send but its complaint;
    // what it says on standard error never reaches the screen, and it may fail quietly.
    if (TermTypeUsable())
        SysCmdR(-CMD_CLEAR, SYSCMD_QUIET, "%s", " ");
    PrintTitle(menu, titleLen);
    int count = ItemCount(menu);
    int number = 0;
    int i = 0;
    for (; i < count; ++i) {
        TextMenuItem *item = &menu->pItems[i];
        bool printed = true;
        switch (item->Type) {
        case MENUITEM_SUBMENU: {
            TextMenu *sub = ValidateMenu(menu, i);
            if (sub)
                std::printf("%2i) %s ", item->Key, sub->pTitle ? sub->pTitle : "");
            printed = sub != nullptr;
            break;
        }
        case MENUITEM_BAR:
        case MENUITEM_ROWBAR: {
            PrintMenuBarItem(item, item->Type, &i, &number);  // i moves to its last item
            printed = item->State != MENUSTATE_HIDDEN;
            break;
        }
        case MENUITEM_TEXT:
            printed = item->State != MENUSTATE_HIDDEN;
            if (printed)
                std::printf("%s ", item->pText);
            break;
        default:
            printed = PrintSelectable(item, maxWidth);
            break;
        }
        if (printed)
            std::printf((menu->Flags & MENU_SINGLESPACE) ? "\n" : "\n\n");
    }
    PrintPrompt(menu);
    return i;
}
