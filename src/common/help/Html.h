// Html.h - help files parsed into pages, pages laid out as text, and the walk between
// them.
//
// Parsing: ParseHtmlFile(name, buffer) reads a help file (or a copy of buffer when one
// is given), cuts it into pages of tag and text items in place, lays every page out and
// registers the file for the life of the process; it returns the file record, or null
// for an "http://" name, an unreadable file, a file without an html tag or a full table
// (100 files). A name already registered gives its first page without parsing again.
// Nothing is printed here: the callers report failures. Records come from GetMem and
// lists from the list module; nothing is ever released.
//
// Layout: every page gets its text (lines of at most 131 characters that may run on into
// the next ones, each ended by a line feed) in pImage, its line count, and the link
// records of its anchors, in the order met, with their start and end offsets in that
// text (Line and Column hold the two offsets once the page text is built).
//
// Navigation: the current file and page (CurrentFile, pCurrentPage), TargetPos and the
// History of 100 positions. Not reentrant; single-threaded.
#pragma once
#include <cstddef>
#include <cstdint>
#include "List.h"

constexpr int HTML_MAX_FILES = 100;
constexpr int HTML_HISTORY_SIZE = 100;
constexpr int HTML_IMAGE_WIDTH = 132;   // bytes of an image line
constexpr int HTML_PIXELS_PER_CHAR = 7;

struct HtmlFile {
    char *pName;    // as asked for, without "file://" and without "#..."; saved string
    char *pText;    // the whole text, cut and compacted in place; owned by the record
    char *pCursor;  // parse position
    List Pages;     // HtmlPage records in file order
};

struct HtmlPage {
    char *pName;      // page attribute of its html tag, null when none
    char *pImage;     // text image, then the page text; null until laid out
    List Head;        // HtmlItem records
    List Body;        // HtmlItem records
    List Links;       // HtmlLink pointers, in the order the anchors close
    int32_t LineCnt;  // lines of the page text
    int32_t ImageLines;  // lines the image buffer holds
};

struct HtmlItem {
    char *pName;     // tag name as written, null for a run of text
    void *pValue;    // attribute text or text run; HtmlLink for "a", HtmlTable for "fitab"
    int32_t Length;  // length of the text when the item was made
};

enum { HTMLLINK_NONE = 0, HTMLLINK_NAME = 1, HTMLLINK_HREF = 2 };

struct HtmlLink {
    char *pTarget;   // value of the name or href attribute, null when none
    int32_t Line;    // start line while laid out, then the start offset in the page text
    int32_t Column;  // start column while laid out, then the end offset
    int32_t Length;  // image positions the anchor's text covers
    int32_t Kind;    // HTMLLINK_*
};

struct HtmlTable {
    int32_t Left, Top;       // placement in the image
    int32_t Width, Height;   // in characters, borders included
    int32_t Padding, Spacing;  // in characters
    int32_t BorderWidth;     // always 1
    char flBorder;           // the tag has a border attribute
    int32_t *pRowHeights;    // Rows entries
    int32_t *pColWidths;     // Cols entries
    int32_t Rows, Cols;
};

extern HtmlFile *HtmlFileTable[HTML_MAX_FILES];
extern int32_t FileIndex;     // files registered
extern int32_t CurrentFile;   // index of the current file
extern HtmlPage *pCurrentPage;
extern unsigned char flBuildingFile;  // set while a file is parsed and laid out

// Entity tables: HTMLKeys names the 96 ISO-8859-1 entities (160 to 255) with their
// semicolons, in code order; HTMLChars and HTMLKeySizes go with them.
extern const char HTMLKeys[];
extern const unsigned char HTMLChars[96];
extern const int HTMLKeySizes[96];
extern const char HtmlKeys[];  // the body tags the layout knows
// "fitab": the name the layout gives the item of a table it measured (its value is then
// the HtmlTable). Only an item whose name is this very array holds one; a tag written
// "fitab" in a file is an unknown tag.
extern char HtmlFitab[];

// Parser.
HtmlFile *ParseHtmlFile(const char *name, const char *buffer);
HtmlFile *FindHtmlFile(const char *name);  // exact name; makes it current
// Releases every registered file with its pages, items and records, for tools and
// tests that parse many files in one run; the history must not be used afterwards.
void HtmlFreeFiles();
void ParseHtml(HtmlFile *file, List *list, const char *endTag);
HtmlItem *AddAtribute(List *list, char *name, char *value);
char *GetKeyWord(HtmlFile *file);

// Layout of pCurrentPage.
void PrintTextImage(HtmlFile *file);
void BuildTextImage(HtmlFile *file);
void BuildTextBody(HtmlFile *file, HtmlTable *table, int32_t line, int32_t column);
int GetColumnCnt();
HtmlTable *GetTextTable(HtmlFile *file, HtmlItem *tableItem, int32_t available);
void DrawTableArea(HtmlFile *file, HtmlTable *table);
void PrintText(HtmlFile *file, int32_t *line, int32_t *column, const char *text, int32_t length, int fill);

// Navigation.
struct HtmlHistory {
    int32_t File;
    HtmlPage *pPage;
    int32_t TargetPos;
};
extern HtmlHistory History[HTML_HISTORY_SIZE];
extern int32_t HistoryCnt;
extern int32_t TargetPos;

int HtmlHelp(const char *name, const char *buffer);  // 1 parsed, 0 after the message
int HtmlSetHistory(int direction);  // 0 first page, -1 back; 0 when the history is empty
void ProcessLink(HtmlLink *link);   // "Error in reading file %s\n" when it cannot load
void GoToTarget(const char *target);
void SetHistory();
void HtmlProcessLink(int32_t position);
// FindRedirect: for "...$$key.redirect..." cuts name at that dot and returns the key
// (at most 63 characters, in a module buffer); null otherwise. CheckForRedirect
// copies the key into its own 64-byte buffer, writes the help database's value for it
// over name (size bytes) when the database has one, and returns the key; null when
// the name is no redirect.
char *FindRedirect(char *name);
char *CheckForRedirect(char *name, size_t size);
