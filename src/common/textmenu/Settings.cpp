// Settings.cpp - menu values written to and read from settings files.
// Value lines "index[value] type state", submenu blocks "index{" ... "}".
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Files.h"
#include "MemMgr.h"
#include "TextMenu.h"
#include "TextMenuPriv.h"

using namespace textmenu;

namespace {

constexpr int VALUE_SIZE = 256;  // one blank-free word of at most 255 bytes
constexpr int STORE_DEPTH = 64;  // a menu table that leads back to itself stops here

int StoreDepth = 0;
int LoadDepth = 0;

void StoreValues(TextMenu *menu, int count) {
    for (int i = 0; i < count; ++i) {
        const TextMenuItem *item = &menu->pItems[i];
        switch (item->Type) {
        case MENUITEM_PICKONE:
        case MENUITEM_INT:
            std::fprintf(pOut, "%i[%i] %i %i\n", i, item->Value.i, item->Type, item->State);
            break;
        case MENUITEM_NAME:
        case MENUITEM_STRING: {
            const char *text = static_cast<const char *>(item->Value.p);
            std::fprintf(pOut, "%i[%s] %i %i\n", i, text ? text : "", item->Type, item->State);
            break;
        }
        case MENUITEM_FLOAT:
            std::fprintf(pOut, "%i[%.3f] %i %i\n", i, static_cast<double>(item->Value.f), item->Type,
                         item->State);
            break;
        default:
            break;
        }
    }
}

// A parsed line: the index, the character after it and the value word.
struct SettingsLine {
    bool HasIndex;
    long Index;
    char Mark;
    char Value[VALUE_SIZE];
};

SettingsLine ParseLine(const char *line) {
    SettingsLine l{};
    const char *p = line;
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    char *end = nullptr;
    l.Index = std::strtol(p, &end, 10);
    l.HasIndex = end != p;
    if (!l.HasIndex)
        return l;
    p = end;
    l.Mark = *p;
    if (*p)
        ++p;
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    size_t n = std::strcspn(p, " \t\r\n\f\v");
    if (n > VALUE_SIZE - 1)
        n = VALUE_SIZE - 1;
    std::memcpy(l.Value, p, n);
    l.Value[n] = '\0';
    char *bracket = std::strchr(l.Value, ']');  // a text ends at its first "]"
    if (bracket)
        *bracket = '\0';
    return l;
}

bool IsBlockOpener(const char *line) {
    SettingsLine l = ParseLine(line);
    return l.HasIndex && l.Mark == '{';
}

// Reads over a block whose submenu is not selected, up to its closing line.
void SkipBlock() {
    int depth = 1;
    while (GetFileLine()) {
        if (LineBuf[0] == '}') {
            if (--depth == 0)
                return;
        } else if (IsBlockOpener(LineBuf)) {
            ++depth;
        }
    }
}

// A decimal number at p (after blanks); p moves past it. False when there is none.
bool ReadInt(const char *&p, int &value) {
    char *end = nullptr;
    long v = std::strtol(p, &end, 10);
    if (end == p)
        return false;
    value = v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
    p = end;
    return true;
}

// A new kind is taken only when it stores its value the same way.
bool SameStorage(int kind, int other) {
    auto storage = [](int k) {
        if (k == MENUITEM_NAME || k == MENUITEM_STRING)
            return 1;
        if (k == MENUITEM_PICKONE || k == MENUITEM_INT)
            return 2;
        return k == MENUITEM_FLOAT ? 3 : 0;
    };
    return storage(kind) != 0 && storage(kind) == storage(other);
}

void LoadValue(TextMenuItem *item, const SettingsLine &l, const char *line) {
    const char *bracket = std::strrchr(line, ']');
    if (!bracket || !bracket[1])
        return;
    const char *p = bracket + 1;
    int type = 0, state = 0;
    if (!ReadInt(p, type) || !ReadInt(p, state))
        return;
    item->State = state;
    switch (item->Type) {
    case MENUITEM_PICKONE:
    case MENUITEM_INT:
        item->Value.i = ParseInt(l.Value);
        break;
    case MENUITEM_NAME:
    case MENUITEM_STRING:
        // A submenu that was never entered has no text buffer yet.
        if (!item->Value.p)
            item->Value.p = GetMem(MENU_TEXT_SIZE);
        if (!item->Value.p)
            return;
        std::memcpy(item->Value.p, l.Value, std::strlen(l.Value) + 1);
        break;
    case MENUITEM_FLOAT:
        item->Value.f = std::strtof(l.Value, nullptr);
        break;
    default:
        return;
    }
    if (type != 0 && SameStorage(item->Type, type))
        item->Type = type;
}

void LoadLine(TextMenu *menu, const char *line) {
    SettingsLine l = ParseLine(line);
    int count = ItemCount(menu);
    bool inMenu = l.HasIndex && l.Index >= 0 && l.Index < count;
    if (l.HasIndex && l.Mark == '{') {
        TextMenu *sub = inMenu ? ValidateMenu(menu, static_cast<int>(l.Index)) : nullptr;
        if (sub && LoadDepth < STORE_DEPTH)
            LoadMenu(sub);
        else
            SkipBlock();
        return;
    }
    if (inMenu)
        LoadValue(&menu->pItems[l.Index], l, line);
}

}  // namespace

void StoreMenu(TextMenu *menu) {
    if (!pOut || StoreDepth >= STORE_DEPTH)
        return;
    ++StoreDepth;
    int count = ItemCount(menu);
    StoreValues(menu, count);
    for (int i = 0; i < count; ++i) {
        if (menu->pItems[i].Type != MENUITEM_SUBMENU)
            continue;
        TextMenu *sub = ValidateMenu(menu, i);
        if (!sub)
            continue;
        std::fprintf(pOut, "%i{\n", i);
        StoreMenu(sub);
        std::fprintf(pOut, "}\n");
    }
    --StoreDepth;
}

void LoadMenu(TextMenu *menu) {
    flLoadedSettings = 1;
    if (!GetFileLine())
        return;
    ++LoadDepth;
    while (LineBuf[0] != '}') {
        // The line is copied: handlers and nested blocks reuse LineBuf.
        char line[LINEBUF_SIZE];
        std::memcpy(line, LineBuf, sizeof line);
        line[sizeof line - 1] = '\0';
        LoadLine(menu, line);
        if (!GetFileLine()) {
            --LoadDepth;
            return;
        }
    }
    --LoadDepth;
    TextMenuItem *apply = FindTextMenuItem(menu, MENUITEM_APPLY);
    if (apply && apply->pfnHandler)
        apply->pfnHandler(menu, apply);
}
