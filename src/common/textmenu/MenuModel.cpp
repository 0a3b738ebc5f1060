// MenuModel.cpp - menu initialisation, state lists and the state-format language.
#include <climits>
#include <cstdlib>
#include <cstring>

#include "MemMgr.h"
#include "TextMenu.h"
#include "TextMenuPriv.h"
#include "Tokens.h"
#include "StrUtils.h"

char MENUVAL_SAVE = 's';
char MENUVAL_CANCEL = 'c';
char MENUVAL_DEFAULT = 'd';
unsigned char flExitTextMenu = 0;
unsigned char flLoadedSettings = 0;

namespace textmenu {

bool IsLettered(const TextMenuItem *item) {
    const char *t = item->pText;
    return t && t[0] == '~' && t[1] && t[2] == ' ';
}

int ItemCount(const TextMenu *menu) {
    if (!menu || !menu->pItems)
        return 0;
    int n = 0;
    while (menu->pItems[n].pText)
        ++n;
    return n;
}

TextMenuItem *ItemAt(TextMenu *menu, int index) {
    if (index < 0 || index >= ItemCount(menu))
        return nullptr;
    return &menu->pItems[index];
}

int ParseInt(const char *text) {
    if (!text)
        return 0;
    long v = std::strtol(text, nullptr, 10);
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

bool StateOffered(const TextMenuItem *item, int n) {
    if (!item->pStates || n < 1 || n > item->StateCnt)
        return false;
    const char *state = GetTokenN(item->pStates, ",", n);
    return state && state[0] != ' ';
}

}  // namespace textmenu

using namespace textmenu;

namespace {

// Token number n (from 1) of the state list for a value, null past the end.
const char *StateToken(const TextMenuItem *item, long value) {
    if (!item->pStates)
        return nullptr;
    long n = value + 1;
    if (n > item->StateCnt)
        return nullptr;
    return GetTokenN(item->pStates, ",", n < 1 ? 1 : static_cast<int>(n));
}

int NextState(int value, int count) {
    long next = (static_cast<long>(value) + 1) % count;
    return static_cast<int>(next < 0 ? next + count : next);
}

void InitPickItem(TextMenu *menu, int index) {
    TextMenuItem *item = &menu->pItems[index];
    item->StateCnt = item->pStates ? GetTokenCount(item->pStates, ",") : 0;
    if (item->Type == MENUITEM_PICKONE) {
        item->Value = item->Default;
    } else if (item->Value.i == 0) {
        item->Default = MenuValue(1);
        item->Value = MenuValue(1);
    }
    item->PrevValue = item->Default.i;
    UpdateStateSelection(item);
    ProcessStateFormat(menu, index);
}

void InitTextItem(TextMenuItem *item) {
    if (item->Value.p)
        return;
    auto *text = static_cast<char *>(GetMem(MENU_TEXT_SIZE));
    if (!text)
        return;
    const char *def = static_cast<const char *>(item->Default.p);
    if (def)
        CopyStr(text, MENU_TEXT_SIZE, def);
    item->Value.p = text;
}

// Start of state n (from 0) in the list: state k begins after the k-th comma.
char *StateStart(char *states, int n) {
    char *p = states;
    for (int k = 0; k < n && p; ++k) {
        p = std::strchr(p, ',');
        if (p)
            ++p;
    }
    return p;
}

void MarkState(TextMenuItem *item, int n, char marker) {
    if (!item || n < 0 || !item->pStates)
        return;
    char *p = StateStart(item->pStates, n);
    // An empty state (end of the list or a doubled comma) has no marker to change.
    if (p && *p && *p != ',')
        *p = marker;
}

}  // namespace

int MenuItemCount(const TextMenu *menu) {
    return ItemCount(menu);
}

const char *GetStateText(const TextMenuItem *item, int n, int *withheld) {
    if (withheld)
        *withheld = 0;
    if (!item || n < 1)
        return nullptr;
    const char *state = StateToken(item, n - 1);
    if (!state)
        return nullptr;
    if (state[0] == ' ' && withheld)
        *withheld = 1;
    return (state[0] == '_' || state[0] == ' ') ? state + 1 : state;
}

int InitMenu(TextMenu *menu, int) {
    int longest = 0, number = 0;
    int count = ItemCount(menu);
    for (int i = 0; i < count; ++i) {
        TextMenuItem *item = &menu->pItems[i];
        item->TextLen = static_cast<int32_t>(std::strlen(item->pText));
        if (item->TextLen > longest)
            longest = item->TextLen;
        switch (item->Type) {
        case MENUITEM_PICKONE:
        case MENUITEM_PICKMANY:
            InitPickItem(menu, i);
            break;
        case MENUITEM_NAME:
        case MENUITEM_STRING:
            InitTextItem(item);
            break;
        case MENUITEM_INT:
        case MENUITEM_FLOAT:
            item->Value = item->Default;
            break;
        default:
            break;
        }
        if (item->Type >= MENUITEM_TEXT && item->Type <= MENUITEM_BAR)
            item->Key = 0;
        else if (IsLettered(item))
            item->Key = static_cast<unsigned char>(item->pText[1]);
        else
            item->Key = ++number;
    }
    return longest;
}

void FreeMenu(TextMenu *menu) {
    int count = ItemCount(menu);
    for (int i = 0; i < count; ++i) {
        TextMenuItem *item = &menu->pItems[i];
        if (item->Type == MENUITEM_NAME || item->Type == MENUITEM_STRING) {
            PutMem(item->Value.p);
            item->Value.p = nullptr;
        }
    }
}

TextMenuItem *FindTextMenuItem(TextMenu *menu, int kind) {
    int count = ItemCount(menu);
    for (int i = 0; i < count; ++i)
        if (menu->pItems[i].Type == kind)
            return &menu->pItems[i];
    return nullptr;
}

TextMenu *ValidateMenu(TextMenu *menu, int index) {
    TextMenuItem *item = ItemAt(menu, index);
    if (!item || item->State != MENUSTATE_NORMAL)
        return nullptr;
    if (!item->pFormat)
        return static_cast<TextMenu *>(item->Value.p);
    auto **menus = static_cast<TextMenu **>(item->Value.p);
    if (!menus)
        return nullptr;
    // The conditions are cut out by hand: the shared tokenizer may be in use.
    const char *p = item->pFormat;
    char cond[TOKEN_BUF_SIZE];
    for (int k = 0;; ++k) {
        while (*p == ' ')
            ++p;
        if (!*p)
            return nullptr;
        size_t n = std::strcspn(p, " ");
        size_t kept = n < sizeof cond - 1 ? n : sizeof cond - 1;
        std::memcpy(cond, p, kept);
        cond[kept] = '\0';
        p += n;
        if (TestStateCondition(menu, cond, index))
            return menus[k];
    }
}

void UpdateStateSelection(TextMenuItem *item) {
    if (!item)
        return;
    item->pCurState = StateToken(item, item->Value.i);
    for (int k = 0; k < item->StateCnt; ++k) {
        if (!item->pCurState || item->pCurState[0] != ' ')
            break;
        if (item->Type != MENUITEM_PICKMANY) {
            item->PrevValue = item->Value.i;
            item->Value.i = NextState(item->Value.i, item->StateCnt);
        }
        item->pCurState = StateToken(item, item->Value.i);
    }
}

void HideStateSelection(TextMenuItem *item, int state) {
    if (!item || state < 0)
        return;
    MarkState(item, state, ' ');
    UpdateStateSelection(item);
}

void ShowStateSelection(TextMenuItem *item, int state) {
    MarkState(item, state, '_');
}
