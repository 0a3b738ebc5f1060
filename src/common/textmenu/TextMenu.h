// TextMenu.h - full-screen text menus: the menu and item records, state formats and
// conditions, entry validation and prompts, drawing, the interaction loop and
// settings files.
// Menus are static records; the engine changes only the items' values, states,
// keys and the markers of writable state lists. Tables are best written with
// designated initializers naming the fields they use (SavedValue defaults to -1). Entry items (kinds 11, 12) get a
// 256-byte text buffer from GetMem on first InitMenu; FreeMenu releases it.
// Answers are read with Gets into LineBuf; output goes to standard output.
// Not reentrant: the condition cursor and the tokenizer are shared; the state-format
// walk saves and restores the tokenizer around nested walks and handler calls.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include "Attrs.h"

struct TextMenu;
struct TextMenuItem;
struct TermScreen;

// Value word of an item: a pointer, an integer or a single-precision number,
// by the item's kind.
union MenuValue {
    void *p;    // text (11, 12), submenu or submenu array (8)
    int32_t i;  // state index (9), state mask (10), integer (13)
    float f;    // number (14)
    constexpr MenuValue() : p(nullptr) {}
    constexpr MenuValue(int v) : i(v) {}
    constexpr MenuValue(float v) : f(v) {}
    constexpr MenuValue(double v) : f(static_cast<float>(v)) {}
    constexpr MenuValue(const char *s) : p(const_cast<char *>(s)) {}
    constexpr MenuValue(TextMenu *m) : p(m) {}
    constexpr MenuValue(TextMenu **m) : p(m) {}
};

using MenuHandler = void (*)(TextMenu *menu);
using ItemHandler = int (*)(TextMenu *menu, TextMenuItem *item);

struct TextMenu {
    const char *pTitle;     // only the first line is measured for centring
    int32_t TitleStyle;     // 0 "\f\n%s:\n\n", 1 centred in 80 columns, 2 right-aligned
    const char *pQuestion;  // apply question, asked when something changed
    MenuHandler pfnApply;
    TextMenu *pParent;      // its title fills the return question
    MenuHandler pfnRefresh;
    TextMenuItem *pItems;   // ended by an item whose pText is null
    uint16_t Flags;
};

struct TextMenuItem {
    const char *pText;      // "~e Exit": lettered item e, shown without "~e "
    int32_t Type;           // MENUITEM_*
    int32_t State;          // MENUSTATE_*
    const char *pPrompt;    // entry prompt, printed as "%s: "
    char *pStates;          // writable "_a,_b, c": _ offered, blank withheld
    const char *pCurState;  // current state text; valid until the next tokenizer call
    MenuValue Default;
    MenuValue Value;
    int32_t PrevValue;      // value before the last change (9, 10)
    ItemHandler pfnHandler;
    int32_t TextLen;        // set by InitMenu
    const char *pFormat;    // state format (9, 10), template (11-14), conditions (8)
    int32_t SavedValue = -1;  // value an S effect replaced, -1 when none
    int32_t StateCnt;       // set by InitMenu
    void *pUserData;
    int32_t Key;            // set by InitMenu: 0, the letter, or the item number
};

// Menu flags.
constexpr uint16_t MENU_NORETURNEXIT = 0x0001;
constexpr uint16_t MENU_HELP = 0x0002;
constexpr uint16_t MENU_KEEPITEMS = 0x0004;
constexpr uint16_t MENU_STOREASK = 0x0008;
constexpr uint16_t MENU_STOREEXIT = 0x0010;
constexpr uint16_t MENU_REINIT = 0x0040;
constexpr uint16_t MENU_KEEPTYPE = 0x0080;
constexpr uint16_t MENU_SINGLESPACE = 0x0100;

// Item kinds.
enum {
    MENUITEM_TEXT = 0,
    MENUITEM_ROWBAR = 1,
    MENUITEM_LABEL = 2,
    MENUITEM_BAR = 3,
    MENUITEM_APPLY = 4,
    MENUITEM_LEAVE = 5,
    MENUITEM_EXIT = 6,
    MENUITEM_ACTION = 7,
    MENUITEM_SUBMENU = 8,
    MENUITEM_PICKONE = 9,
    MENUITEM_PICKMANY = 10,
    MENUITEM_NAME = 11,
    MENUITEM_STRING = 12,
    MENUITEM_INT = 13,
    MENUITEM_FLOAT = 14,
};

// Item states.
enum { MENUSTATE_NORMAL = 0, MENUSTATE_INACTIVE = 1, MENUSTATE_HIDDEN = 2 };

constexpr int MENU_TEXT_SIZE = 256;  // text buffer of a name or string item

// Fixed globals of the engine.
extern char MENUVAL_SAVE;     // 's'
extern char MENUVAL_CANCEL;   // 'c'
extern char MENUVAL_DEFAULT;  // 'd'
// Picker labels and prompt, fetched on the first picker draw (messages 25_201 to
// 25_205, built-in English when the database has none); kept for the program's life.
// The first character of the save and cancel labels is their key.
extern char *KVATTYMENU_SAVE;
extern char *KVATTYMENU_CANCEL;
extern char *KVATTYMENU_CURSEL;       // one %s: the current selection
extern char *KVATTYMENU_CURSELTRUNC;  // one %s: the selection, cut
extern char *KVATTYMENU_OPTION;
extern unsigned char flExitTextMenu;    // set by a handler: every menu loop ends
extern unsigned char flLoadedSettings;  // set when a settings file is read
extern char *pOption;                   // option text of the last answer (in LineBuf)
extern char *pErrIntRange;              // 25_1003, fetched by the first ValidateEntry
extern const char textmenu_060[];       // "This number must be between %f to %f."
// Help page shown for "h" (TtyHtmlHelp); name and data unset, title "Help".
extern const char *pTtyHtmlName;
extern const char *pTtyHtmlData;
extern const char *pTtyHtmlTitle;

// The engine's and the help viewer's texts (groups 20, 25, 30): message group_number
// of pDrvCoreDB copied into buf (size bytes, NUL included), or, when the fetch gives
// the key text (no database, or one without the message), the built-in text of
// MenuLanguage(); the key text ("25_510") when neither has it. Returns buf.
const char *FetchMenuMessage(int group, int number, char *buf, size_t size);
// The language of the built-in texts: the database's once one was chosen; otherwise
// LANG through trans.conf beside the program, or through the shipped table without it.
// Module text, valid until LANG changes.
const char *MenuLanguage();

// Menu model and state formats.
int InitMenu(TextMenu *menu, int unused = 0);       // longest item text
void FreeMenu(TextMenu *menu);                      // releases the kind 11/12 buffers
TextMenuItem *FindTextMenuItem(TextMenu *menu, int kind);
TextMenu *ValidateMenu(TextMenu *menu, int index);  // the submenu of item index now
void UpdateStateSelection(TextMenuItem *item);
void HideStateSelection(TextMenuItem *item, int state);
void ShowStateSelection(TextMenuItem *item, int state);
void ProcessStateFormat(TextMenu *menu, int index);
int TestFormatState(const char *list, int value);
int TestState(TextMenu *menu, const char *term, int owner);  // 0, 1, or 2 (State != 0)
int TestStateCondition(TextMenu *menu, const char *condition, int owner);
int MenuItemCount(const TextMenu *menu);            // index of the terminator
// The text of state n (from 1) of the item without its marker, or null; a withheld
// state sets *withheld. Valid until the next tokenizer call.
const char *GetStateText(const TextMenuItem *item, int n, int *withheld);

// Validation and prompts. Messages are shown with PostMsg, which waits for Return.
// ValidateEntry: 0 valid; 1 number out of range or more than one point; 2 length out
// of bounds; 3 character not allowed; 4 forbidden word. A null template accepts all.
int ValidateEntry(const char *entry, const char *templ);
// "<question>? [y/n] " until an answer starts with y (1) or n (0); the end of input
// ends the run ("ERROR: unexpected end of input", status 1).
int PromptYN(const char *question, ...) PRINTF_LIKE(1, 2);
void PostMsg(const char *fmt, ...) PRINTF_LIKE(1, 2);
int TestName(const char *name);   // 1: letters, digits, '_' and '-' only
int TestNames(TextMenu *menu);    // 1: every name item before the first hidden one is set
// Prints the prompt as text; reads a line into buffer (size bytes) and returns it,
// or, with a null buffer, returns a saved copy of at most 1023 characters (PutMem).
// Null at the end of input. A longer line is read to its end and dropped: the length
// message is shown and the answer is empty.
char *PromptUser(const char *prompt, char *buffer, int size);

// Rendering. PrintMenu clears the terminal (the clear command), prints the menu and
// its prompt line and returns the number of items walked. The picker draws a page of
// states from offset on the full screen: the number drawn (0 when the list ran out
// before the page was full), or -1 for a too small terminal or an offset past the
// list; *hiddenMask gets the withheld states of the page (states 1 to 32).
int PrintMenu(TextMenu *menu, int maxWidth, int titleLen);
TextMenuItem *PrintMenuBarItem(TextMenuItem *opener, int kind, int *index, int *number);
int PrintPickOneManyScreen(TextMenuItem *item, uint32_t *hiddenMask, int offset);
// Widest state per column of lines - 6 states (at most capacity columns; the caller
// clears widths); returns the widest of all.
int GetColumnWidths(TermScreen *screen, TextMenuItem *item, int *widths, int capacity);
void WriteScreenFrame(TermScreen *screen, TextMenuItem *item, const char *selection);

// Interaction loop. RunMenu initialises the menu, loads the settings file when one is
// named (a file that cannot be opened runs the first leave item's handler instead),
// applies it at once when not interactive, and otherwise draws, reads and selects
// until the menu is left. One answer is one line: a line longer than LineBuf is read
// to its end, reported and refused. The end of input ends the run ("ERROR: unexpected
// end of input", status 1). Always 0.
int RunMenu(TextMenu *menu, const char *file, int interactive);
// 1 + the index of the item the answer in LineBuf names, or 0; sets pOption. h and s
// are handled here when the menu has their flags (s with MENU_STOREEXIT ends the run).
int FindSelection(TextMenu *menu, int unused, int count);
// 1 when the selection took effect (actions: their handler returned 0).
int ProcessSelection(TextMenu *menu, int index, char *option);
// The full-screen picker of a pick item; the option text is its first answer.
void ProcessStateValue(TextMenu *menu, int index, char *option);

// Settings files: "index[value] type state" lines and "index{" ... "}" blocks.
void StoreMenu(TextMenu *menu);  // to pOut, opened and closed by the caller
void LoadMenu(TextMenu *menu);   // from the current input file (OpenInputFile)
