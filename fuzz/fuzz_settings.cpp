// fuzz_settings.cpp - libFuzzer target over settings files: the input is loaded
// (LoadMenu) into a fixed menu with two levels of submenus, pick items and every
// item kind, from a file in a private folder. What must hold:
//   - a settings file never gives an item a value its template or state list
//     refuses: a pick-one item holds an offered state, an integer and a number lie
//     in their templates' ranges, a name or a string is text its template accepts;
//   - kinds stay (a name and a string may become one another), states are normal,
//     inactive or hidden, submenus stay where they were;
//   - what the menu stores then loads back and stores again is the same text.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Buffers.h"
#include "Files.h"
#include "FuzzSupport.h"
#include "TextMenu.h"
#include "TextMenuPriv.h"

namespace {

using fuzz::Check;

int Applied = 0;
int CountApply(TextMenu *, TextMenuItem *) {
    ++Applied;
    return 0;
}
int NoAction(TextMenu *, TextMenuItem *) { return 0; }

struct Menus {
    char Pick[24] = "_off,_on, withheld,_x";
    char Many[16] = "_a,_b,_c";
    char SubPick[16] = "_1,_2,_3";
    TextMenuItem DeepItems[4];
    TextMenu Deep{"Deep", 0, nullptr, nullptr, nullptr, nullptr, DeepItems, 0};
    TextMenuItem SubItems[6];
    TextMenu Sub{"Port", 0, nullptr, nullptr, nullptr, nullptr, SubItems, 0};
    TextMenuItem Items[16];
    TextMenu Menu{"Printer", 0, nullptr, nullptr, nullptr, nullptr, Items, 0};

    Menus() {
        DeepItems[0] = {.pText = "Copies", .Type = MENUITEM_INT, .Default = 1, .pFormat = "d(1,99)"};
        DeepItems[1] = {.pText = "Label", .Type = MENUITEM_STRING, .pFormat = "p(0,12)"};
        DeepItems[2] = {.pText = "Apply", .Type = MENUITEM_APPLY, .pfnHandler = CountApply};
        DeepItems[3] = {.pText = nullptr};
        SubItems[0] = {.pText = "Number", .Type = MENUITEM_INT, .Default = 9100, .pFormat = "d(1,65535)"};
        SubItems[1] = {.pText = "Speed", .Type = MENUITEM_PICKONE, .pStates = SubPick};
        SubItems[2] = {.pText = "Host", .Type = MENUITEM_NAME, .pFormat = "A(1,16)+-+_"};
        SubItems[3] = {.pText = "More", .Type = MENUITEM_SUBMENU, .Value = &Deep};
        SubItems[4] = {.pText = "Apply", .Type = MENUITEM_APPLY, .pfnHandler = CountApply};
        SubItems[5] = {.pText = nullptr};
        Items[0] = {.pText = "Title", .Type = MENUITEM_TEXT};
        Items[1] = {.pText = "-", .Type = MENUITEM_ROWBAR};
        Items[2] = {.pText = "Label", .Type = MENUITEM_LABEL};
        Items[3] = {.pText = "=", .Type = MENUITEM_BAR};
        Items[4] = {.pText = "Mode", .Type = MENUITEM_PICKONE, .pStates = Pick};
        Items[5] = {.pText = "Many", .Type = MENUITEM_PICKMANY, .pStates = Many, .Default = 5};
        Items[6] = {.pText = "Queue", .Type = MENUITEM_NAME, .pFormat = "a(1,8)+_"};
        Items[7] = {.pText = "Note", .Type = MENUITEM_STRING, .pFormat = "p(0,20)"};
        Items[8] = {.pText = "Count", .Type = MENUITEM_INT, .Default = 5, .pFormat = "d(0,100)"};
        Items[9] = {.pText = "Scale", .Type = MENUITEM_FLOAT, .Default = 1.0f, .pFormat = "f(0.5,2)"};
        Items[10] = {.pText = "Port", .Type = MENUITEM_SUBMENU, .Value = &Sub};
        Items[11] = {.pText = "Go", .Type = MENUITEM_ACTION, .pfnHandler = NoAction};
        Items[12] = {.pText = "~a Apply", .Type = MENUITEM_APPLY, .pfnHandler = CountApply};
        Items[13] = {.pText = "~l Leave", .Type = MENUITEM_LEAVE};
        Items[14] = {.pText = "~e Exit", .Type = MENUITEM_EXIT};
        Items[15] = {.pText = nullptr};
        InitMenu(&Menu);
        InitMenu(&Sub);
        InitMenu(&Deep);
    }
    ~Menus() {
        FreeMenu(&Menu);
        FreeMenu(&Sub);
        FreeMenu(&Deep);
    }
};

struct Range {
    double Min, Max;
};

void CheckItem(const TextMenuItem &item, int kind, const void *value) {
    Check(item.State >= MENUSTATE_NORMAL && item.State <= MENUSTATE_HIDDEN);
    bool text = [](int k) { return k == MENUITEM_NAME || k == MENUITEM_STRING; }(kind);
    Check(item.Type == kind || (text && (item.Type == MENUITEM_NAME || item.Type == MENUITEM_STRING)));
    switch (kind) {
    case MENUITEM_PICKONE:
        Check(textmenu::StateOffered(&item, item.Value.i + 1));
        break;
    case MENUITEM_INT: {
        char digits[16];
        snprintf(digits, sizeof digits, "%d", item.Value.i);
        Check(textmenu::CheckEntry(digits, item.pFormat) == 0);
        break;
    }
    case MENUITEM_FLOAT:
        Check(item.Value.f >= 0.5f && item.Value.f <= 2.0f);
        break;
    case MENUITEM_NAME:
    case MENUITEM_STRING: {
        const char *t = static_cast<const char *>(item.Value.p);
        Check(t && (!*t || textmenu::CheckEntry(t, item.pFormat) == 0));
        for (const char *p = t; *p; ++p)
            Check(static_cast<unsigned char>(*p) >= 0x20 && *p != 0x7f);
        break;
    }
    case MENUITEM_SUBMENU:
        Check(item.Value.p == value);
        break;
    default:
        break;
    }
}

void CheckMenu(const TextMenu &menu, const int *kinds, const void *const *values) {
    for (int i = 0; menu.pItems[i].pText; ++i)
        CheckItem(menu.pItems[i], kinds[i], values[i]);
}

void Load(TextMenu *menu, const std::string &path) {
    if (!OpenInputFile(path.c_str(), 0))
        __builtin_trap();
    LoadMenu(menu);
    if (FileStatus == 0)
        CloseInputFile();
}

std::string Store(TextMenu *menu, const std::string &path) {
    pOut = fopen(path.c_str(), "w");
    if (!pOut)
        __builtin_trap();
    StoreMenu(menu);
    fclose(pOut);
    pOut = nullptr;
    std::string text;
    FILE *f = fopen(path.c_str(), "rb");
    char buf[4096];
    size_t n;
    while (f && (n = fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    if (f)
        fclose(f);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 65536)
        return 0;
    const std::string &scratch = fuzz::Scratch("fuzzset");
    std::string input = scratch + "/input.set";
    fuzz::WriteBytes(input, data, size);

    Menus m;
    int kinds[3][16];
    const void *values[3][16];
    TextMenu *all[] = {&m.Menu, &m.Sub, &m.Deep};
    for (int k = 0; k < 3; ++k)
        for (int i = 0; all[k]->pItems[i].pText; ++i) {
            kinds[k][i] = all[k]->pItems[i].Type;
            values[k][i] = all[k]->pItems[i].Value.p;
        }
    Load(&m.Menu, input);
    for (int k = 0; k < 3; ++k)
        CheckMenu(*all[k], kinds[k], values[k]);

    std::string first = Store(&m.Menu, scratch + "/first.set");
    Load(&m.Menu, scratch + "/first.set");
    for (int k = 0; k < 3; ++k)
        CheckMenu(*all[k], kinds[k], values[k]);
    std::string second = Store(&m.Menu, scratch + "/second.set");
    Check(first == second);
    return 0;
}
