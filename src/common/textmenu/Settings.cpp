// Settings.cpp - menu values written to and read from settings files.
// Value lines "index[value] type state", submenu blocks "index{" ... "}".
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Errors.h"
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
int LoadLineNo = 0;  // lines of the current settings file read so far

// The next line of the settings file into LineBuf, counted for the warnings.
int NextLine() {
    int got = GetFileLine();
    if (got)
        ++LoadLineNo;
    return got;
}

// One warning for a line that changes nothing.
void Refuse(const char *reason) {
    ErrorMsg(1, 0, "%s line %d: %s; the line is ignored", InputFileName, LoadLineNo, reason);
}

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
    bool Cut;  // the value word was longer than VALUE_SIZE - 1 bytes
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
    const char *bracketAt = static_cast<const char *>(std::memchr(p, ']', n));
    l.Cut = (bracketAt ? static_cast<size_t>(bracketAt - p) : n) > VALUE_SIZE - 1;
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
    while (NextLine()) {
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

bool TakesValue(int kind) {
    return kind == MENUITEM_PICKONE || (kind >= MENUITEM_NAME && kind <= MENUITEM_FLOAT);
}

// The type field may name the item's own kind (or 0); a name item and a string item
// may become one another, since they keep their text and template alike.
bool TypeFits(int kind, int type) {
    if (type == 0 || type == kind)
        return true;
    auto text = [](int k) { return k == MENUITEM_NAME || k == MENUITEM_STRING; };
    return text(kind) && text(type);
}

// A whole decimal integer in the int range.
bool WholeInt(const char *text, int *value) {
    char *end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (end == text || *end || errno == ERANGE || v < INT_MIN || v > INT_MAX)
        return false;
    *value = static_cast<int>(v);
    return true;
}

// A whole finite number.
bool WholeFloat(const char *text, float *value) {
    char *end = nullptr;
    float v = std::strtof(text, &end);
    if (end == text || *end || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

// No byte that a terminal would take as a control: the text is shown on every draw.
bool ShowableText(const char *text) {
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; ++p)
        if (*p < 0x20 || *p == 0x7f || (*p >= 0x80 && *p < 0xa0))
            return false;
    return true;
}

// The value of the line checked as a typed one would be: null when the item may take
// it (*parsed holds it), else why not.
const char *CheckValue(const TextMenuItem *item, const SettingsLine &l, MenuValue *parsed) {
    if (l.Cut)
        return "the value is too long";
    switch (item->Type) {
    case MENUITEM_PICKONE: {
        int v = 0;
        if (!WholeInt(l.Value, &v) || !StateOffered(item, v + 1))
            return "no such state is offered";
        parsed->i = v;
        return nullptr;
    }
    case MENUITEM_INT:
        if (!WholeInt(l.Value, &parsed->i) || CheckEntry(l.Value, item->pFormat) != 0)
            return "the number is refused";
        return nullptr;
    case MENUITEM_FLOAT:
        if (!WholeFloat(l.Value, &parsed->f) || CheckEntry(l.Value, item->pFormat) != 0)
            return "the number is refused";
        return nullptr;
    default:  // MENUITEM_NAME, MENUITEM_STRING
        if (!ShowableText(l.Value) || CheckEntry(l.Value, item->pFormat) != 0)
            return "the text is refused";
        return nullptr;
    }
}

// Null when the line was taken, else why it was not.
const char *LoadValue(TextMenuItem *item, const SettingsLine &l, const char *line) {
    const char *bracket = std::strrchr(line, ']');
    const char *p = bracket ? bracket + 1 : nullptr;
    int type = 0, state = 0;
    if (!p || !ReadInt(p, type) || !ReadInt(p, state))
        return "no type and state after the value";
    if (!TakesValue(item->Type))
        return "the item takes no value";
    if (!TypeFits(item->Type, type))
        return "the type does not fit the item";
    if (state < MENUSTATE_NORMAL || state > MENUSTATE_HIDDEN)
        return "no such item state";
    MenuValue value;
    if (const char *why = CheckValue(item, l, &value))
        return why;
    if (item->Type == MENUITEM_NAME || item->Type == MENUITEM_STRING) {
        // A submenu that was never entered has no text buffer yet.
        if (!item->Value.p)
            item->Value.p = GetMem(MENU_TEXT_SIZE);
        if (!item->Value.p)
            return "no memory for the text";
        std::memcpy(item->Value.p, l.Value, std::strlen(l.Value) + 1);
    } else {
        item->Value = value;
    }
    item->State = state;
    if (type != 0)
        item->Type = type;
    return nullptr;
}

bool BlankLine(const char *line) {
    return line[std::strspn(line, " \t\r\n")] == '\0';
}

void LoadLine(TextMenu *menu, const char *line) {
    SettingsLine l = ParseLine(line);
    int count = ItemCount(menu);
    bool inMenu = l.HasIndex && l.Index >= 0 && l.Index < count;
    if (l.HasIndex && l.Mark == '{') {
        // Only a submenu item leads to a menu: any other item's value is no menu.
        bool submenu = inMenu && menu->pItems[l.Index].Type == MENUITEM_SUBMENU;
        TextMenu *sub = submenu ? ValidateMenu(menu, static_cast<int>(l.Index)) : nullptr;
        if (sub && LoadDepth < STORE_DEPTH)
            LoadMenu(sub);
        else
            SkipBlock();
        return;
    }
    if (!l.HasIndex) {
        if (!BlankLine(line))
            Refuse("not a settings line");
        return;
    }
    if (!inMenu) {
        Refuse("no item of that index");
        return;
    }
    if (const char *why = LoadValue(&menu->pItems[l.Index], l, line))
        Refuse(why);
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
    if (LoadDepth == 0)
        LoadLineNo = 0;
    if (!NextLine())
        return;
    ++LoadDepth;
    while (LineBuf[0] != '}') {
        // The line is copied: handlers and nested blocks reuse LineBuf.
        char line[LINEBUF_SIZE];
        std::memcpy(line, LineBuf, sizeof line);
        line[sizeof line - 1] = '\0';
        LoadLine(menu, line);
        if (!NextLine()) {
            --LoadDepth;
            return;
        }
    }
    --LoadDepth;
    TextMenuItem *apply = FindTextMenuItem(menu, MENUITEM_APPLY);
    if (apply && apply->pfnHandler)
        apply->pfnHandler(menu, apply);
}
