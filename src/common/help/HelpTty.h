// HelpTty.h - the help viewer on a character terminal.
// TtyHtmlHelp(name, data, title) parses the help file name (or the HTML text in data,
// which is copied) and shows its first page, or the target after a "#", as the help
// menu, run by RunMenu until its exit item is chosen; it returns at once, showing
// nothing, when the name or the title is null (the installer without setup.hlp). A
// file that cannot be read prints "Error in reading HTML file %s\n" ("Error reading
// HTML buffer\n" for data) and shows nothing.
// The help menu: HelpMenu (flags 0x01C1) over HelpMenuItems (HelpMenuItemCnt items,
// grown with AdjustMem): the page text, one action item per link, then
// HelpCommonItems (two bars, exit, contents, back, terminator). Its labels and title
// come from messages 20_150 to 20_152 and 30_22, built in when no database has them.
#pragma once
#include <cstdint>

struct TextMenu;
struct TextMenuItem;

constexpr int HELP_COMMON_ITEMS = 6;

extern TextMenu HelpMenu;
extern TextMenuItem *HelpMenuItems;
extern int32_t HelpMenuItemCnt;
extern const TextMenuItem HelpCommonItems[HELP_COMMON_ITEMS];

void TtyHtmlHelp(const char *name, const char *data, const char *title);
void TtyHelpBuildMenuItems();  // items and title for pCurrentPage
int TtyHelpGotoLink(TextMenu *menu, TextMenuItem *item);  // follows item->pUserData
int TtyHelpContents(TextMenu *menu, TextMenuItem *item);
int TtyHelpBack(TextMenu *menu, TextMenuItem *item);
