// fuzz_state.cpp - libFuzzer target over state formats and conditions on a menu
// built from the input. The first line gives the items (one byte each, at most 8:
// kind, value and state), the next lines their state formats (pick items) or
// conditions (submenu items), and the last line a condition tested from each item.
// What must hold:
//   - a state format run from any item ends, changes no item's kind and leaves
//     every state one of normal, inactive and hidden;
//   - a condition gives 0 or 1, changes nothing in the menu, and gives the same
//     answer when tested again.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "TextMenu.h"

namespace {

constexpr int kItems = 8;

using fuzz::Check;

struct Built {
    TextMenuItem Items[kItems + 1];
    char States[kItems][16];
    std::vector<std::string> Texts;
    TextMenu Menu{"S", 0, nullptr, nullptr, nullptr, nullptr, Items, 0};
};

void CheckStates(const Built &b, const int *kinds, int count) {
    for (int i = 0; i < count; ++i) {
        Check(b.Items[i].Type == kinds[i]);
        Check(b.Items[i].State >= MENUSTATE_NORMAL && b.Items[i].State <= MENUSTATE_HIDDEN);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 8192)
        return 0;
    std::string input(reinterpret_cast<const char *>(data), size);
    input = input.c_str();
    std::vector<std::string> lines;
    for (size_t at = 0; at <= input.size();) {
        size_t nl = input.find('\n', at);
        if (nl == std::string::npos)
            nl = input.size();
        lines.push_back(input.substr(at, nl - at));
        at = nl + 1;
    }
    if (lines.size() < 2)
        return 0;
    static Built *b = nullptr;
    delete b;
    b = new Built();
    b->Texts = lines;
    const std::string &head = lines[0];
    int count = static_cast<int>(head.size() < kItems ? head.size() : kItems);
    int kinds[kItems];
    static const int kKinds[] = {MENUITEM_PICKONE, MENUITEM_PICKMANY, MENUITEM_INT, MENUITEM_SUBMENU};
    for (int i = 0; i < count; ++i) {
        auto c = static_cast<unsigned char>(head[i]);
        kinds[i] = kKinds[c % 4];
        std::strcpy(b->States[i], "_a,_b,_c");
        const char *format = static_cast<size_t>(i + 1) < lines.size() - 1 ? b->Texts[i + 1].c_str() : nullptr;
        b->Items[i] = {.pText = "Item", .Type = kinds[i], .State = (c >> 2) % 3, .pStates = b->States[i],
                       .Default = (c >> 4) % 4, .pFormat = format};
        if (kinds[i] == MENUITEM_SUBMENU)
            b->Items[i].Default = MenuValue();
    }
    b->Items[count] = {.pText = nullptr};
    for (int i = 0; i < count; ++i)
        b->Items[i].Value = b->Items[i].Default;
    InitMenu(&b->Menu);
    CheckStates(*b, kinds, count);
    for (int i = 0; i < count; ++i) {
        if (kinds[i] == MENUITEM_SUBMENU)
            continue;
        ProcessStateFormat(&b->Menu, i);
        CheckStates(*b, kinds, count);
    }
    const char *condition = b->Texts.back().c_str();
    for (int owner = 0; owner <= count; ++owner) {
        TextMenuItem before[kItems + 1];
        std::memcpy(before, b->Items, sizeof before);
        int r = TestStateCondition(&b->Menu, condition, owner);
        Check(r == 0 || r == 1);
        Check(std::memcmp(before, b->Items, sizeof before) == 0);
        Check(TestStateCondition(&b->Menu, condition, owner) == r);
    }
    for (int i = 0; i < count; ++i)
        if (kinds[i] == MENUITEM_SUBMENU && b->Items[i].pFormat) {
            int r = TestStateCondition(&b->Menu, b->Items[i].pFormat, i);
            Check(r == 0 || r == 1);
        }
    FreeMenu(&b->Menu);
    return 0;
}
