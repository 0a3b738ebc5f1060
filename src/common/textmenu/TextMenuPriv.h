// TextMenuPriv.h - helpers shared by the text menu engine's sources (not a public
// interface: only src/common/textmenu includes it).
#pragma once
#include <cstddef>
#include "TextMenu.h"

namespace textmenu {

constexpr int MSG_SIZE = 1024;  // a fetched message text or a formatted message

// "~e Exit": a tilde, a key letter and a blank.
bool IsLettered(const TextMenuItem *item);
// Number of items before the terminator; 0 for a null menu or item array.
int ItemCount(const TextMenu *menu);
// The item at index, or null when the index is outside the menu.
TextMenuItem *ItemAt(TextMenu *menu, int index);

// FetchMenuMessage (TextMenu.h).
const char *FetchText(int group, int number, char *buf, size_t size);
// 1 when buf holds the key text of group_number (the message is missing).
bool IsKeyText(const char *text, int group, int number);
// Fetches group_number and formats it with the arguments when its conversions match
// those of english; a missing or unfit text gives its key text. Into buf (size bytes).
void FormatMessage(char *buf, size_t size, int group, int number, const char *english, ...)
    PRINTF_LIKE(5, 6);

// Prints message group_number formatted with the arguments when its conversions match
// those of english; a missing or unfit text prints its key text.
void PrintMessage(int group, int number, const char *english, ...) PRINTF_LIKE(3, 4);

// Sound end of a read that cannot go on: "ERROR: unexpected end of input", status 1.
[[noreturn]] void EndOfInput();

// Converts a decimal number as strtol does, clamped to the int range; 0 when none.
int ParseInt(const char *text);
// 1 when state n (from 1) of the item exists and is offered (not withheld).
bool StateOffered(const TextMenuItem *item, int n);

// Loads the picker labels once (KVATTYMENU_*), built-in English when missing.
void LoadPickerLabels();

}  // namespace textmenu

namespace textmenu {

// One answer into buf (size bytes, at most LINEBUF_SIZE): true for a line that fits;
// false for a longer one, which was read to its end and dropped (buf empty) and
// reported with the length message. The end of input ends the run (EndOfInput).
bool ReadMenuAnswer(char *buf, int size);
// The length message for an answer longer than max characters, waited on (PostMsg).
void ReportTooLong(int max);
// A wait for Return: reads one whole line of LineBuf and drops it.
void WaitForReturn();
// A byte as the messages show it: itself when it is printable ASCII, else its code
// ("\x1b"), so that neither a control byte nor a byte of another character set acts
// on the terminal.
struct ShownByte {
    char Text[8];
};
ShownByte Show(char c);
// Message group_number (FetchText) for a byte shown by Show: its "%c" made "%s".
const char *ByteMessageText(int group, int number, char *text, size_t size);
// ValidateEntry without its message: the same result, nothing shown or waited on.
int CheckEntry(const char *entry, const char *templ);

}  // namespace textmenu
