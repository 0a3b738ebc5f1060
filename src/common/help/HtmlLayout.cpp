// HtmlLayout.cpp - a parsed page drawn as text 132 columns wide, then turned into
// newline-ended lines with link offsets.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <strings.h>

#include "Html.h"
#include "MemMgr.h"
#include "StrUtils.h"
#include "Tokens.h"

char HtmlFitab[] = "fitab";

const char HtmlKeys[] =
    ",p,/p,b,/b,font,/font,a,/a,tr,/tr,br,table,fitab,/table,td,/td,h1,h2,h3,h4,h5,h6"
    ",/h1,/h2,/h3,/h4,/h5,/h6,ol,/ol,li,/li,div,/div,img,";

namespace {

enum BodyTag {
    K_OTHER, K_P, K_P_END, K_B, K_B_END, K_FONT, K_FONT_END, K_A, K_A_END, K_TR, K_TR_END,
    K_BR, K_TABLE, K_FITAB, K_TABLE_END, K_TD, K_TD_END,
    K_H1, K_H2, K_H3, K_H4, K_H5, K_H6, K_H1_END, K_H2_END, K_H3_END, K_H4_END, K_H5_END,
    K_H6_END, K_OL, K_OL_END, K_LI, K_LI_END, K_DIV, K_DIV_END, K_IMG
};

constexpr const char *TABLE_TAGS = ",tr,/tr,td,/td,table,/table,";
enum { T_TR = 1, T_TR_END, T_TD, T_TD_END, T_TABLE, T_TABLE_END };
constexpr const char *TABLE_ATTRS = ",border,cellspacing,cellpadding,width,";
constexpr int MAX_CELLS = 1000;       // rows and columns of a table beyond are ignored
constexpr int MAX_SPAN = 1000;        // characters a width or padding may ask for
constexpr int MAX_NESTING = 16;       // deeper tables are laid out as plain text
constexpr int MAX_IMAGE_LINES = 1 << 18;  // writes below are dropped
constexpr int TITLE_WIDTH = 80;

struct MemFree {
    void operator()(void *p) const { PutMem(p); }
};
using IntArray = std::unique_ptr<int32_t, MemFree>;

int32_t Clamp(long long v, long long hi = MAX_SPAN) {
    return static_cast<int32_t>(std::clamp<long long>(v, 0, hi));
}

int TagOf(const HtmlItem *item) {
    if (!item->pName)
        return -1;
    int tag = FindTokenC(item->pName, HtmlKeys);
    return tag == K_FITAB && item->pName != HtmlFitab ? K_OTHER : tag;
}

HtmlItem *NextItem() {
    return static_cast<HtmlItem *>(ListWalk(&pCurrentPage->Body, 1));
}

// Makes line (0-based) writable; false when the image cannot hold it.
bool EnsureLine(HtmlPage *page, long long line) {
    if (line < page->ImageLines)
        return true;
    if (line >= MAX_IMAGE_LINES)
        return false;
    long long want = std::max<long long>(line + 1, 2LL * page->ImageLines);
    want = std::min<long long>(want, MAX_IMAGE_LINES);
    // one byte more for the terminator of the page text
    auto *grown = static_cast<char *>(AdjustMem(page->pImage, static_cast<int>(want * HTML_IMAGE_WIDTH + 1)));
    if (!grown)
        return false;
    page->pImage = grown;
    page->ImageLines = static_cast<int32_t>(want);
    return true;
}

void PutAt(long long pos, char c) {
    if (pos < 0 || !EnsureLine(pCurrentPage, pos / HTML_IMAGE_WIDTH))
        return;
    pCurrentPage->pImage[pos] = c;
}

char CharAt(int32_t line, int32_t column) {
    long long pos = static_cast<long long>(line) * HTML_IMAGE_WIDTH + column;
    if (line < 0 || column < 0 || pos / HTML_IMAGE_WIDTH >= pCurrentPage->ImageLines)
        return '\0';
    return pCurrentPage->pImage[pos];
}

// The layout state of one BuildTextBody call.
struct Body {
    HtmlFile *pFile;
    HtmlTable *pTable;
    int Depth;            // tables entered, this one included
    int32_t Line, Column;
    bool flList = false;
    int ItemNo = 0;
    bool flLinkOpen = false;
    HtmlLink *pLink = nullptr;
    int32_t CellLeft = 0, RowTop = 0;
    int ColIdx = -1, RowIdx = 0;
    int Flat = 0;         // tables beyond the nesting limit, open as plain text

    void NewLine() {
        ++Line;
        Column = pTable ? CellLeft : 0;
    }
    void Write(const char *text, int32_t n) { PrintText(pFile, &Line, &Column, text, n, 0); }
};

void BuildBody(HtmlFile *file, HtmlTable *table, int depth, int32_t line, int32_t column);
HtmlTable *MeasureTable(HtmlFile *file, HtmlItem *tableItem, int32_t available, int depth);

void OpenLink(Body &b, HtmlItem *item) {
    b.pLink = static_cast<HtmlLink *>(item->pValue);
    if (!b.pLink)
        return;
    b.pLink->Line = b.Line;
    b.pLink->Column = b.Column;
    if (b.pLink->Kind == HTMLLINK_HREF) {
        b.Write("<", 1);
        b.flLinkOpen = true;
    }
}

void CloseLink(Body &b) {
    if (b.flLinkOpen) {
        b.Write(">", 1);
        b.flLinkOpen = false;
    }
    HtmlLink *link = b.pLink;
    if (!link)
        return;
    // image positions covered, so that a run past the line's end keeps its length
    long long end = static_cast<long long>(b.Line) * HTML_IMAGE_WIDTH + b.Column;
    long long start = static_cast<long long>(link->Line) * HTML_IMAGE_WIDTH + link->Column;
    link->Length = Clamp(end - start, INT32_MAX);
    ListPushItem(&pCurrentPage->Links, &link, sizeof link);
    b.pLink = nullptr;
}

void PlaceTable(Body &b, HtmlTable *t) {
    if (b.pTable) {
        b.Column = b.CellLeft;
        char c = CharAt(b.Line, b.CellLeft);
        if (c != '\0' && c != ' ')
            ++b.Line;
    }
    t->Left = b.Column;
    t->Top = b.Line;
    BuildBody(b.pFile, t, b.Depth + 1, b.Line, b.Column);
    b.Line = t->Top + t->Height;
    b.Column = b.pTable ? b.CellLeft : t->Left;
}

int32_t CellWidth(const HtmlTable *t, int col) {
    return t && col >= 0 && col < t->Cols ? t->pColWidths[col] : 0;
}

void TableTag(Body &b, HtmlItem *item, int tag) {
    if (b.Depth + 1 > MAX_NESTING) {
        ++b.Flat;
        return;
    }
    if (tag == K_TABLE) {
        if (b.flList)
            b.NewLine();
        ListLink *at = pCurrentPage->Body.pWalk;
        MeasureTable(b.pFile, item, b.pTable ? CellWidth(b.pTable, b.ColIdx) : 0, b.Depth + 1);
        pCurrentPage->Body.pWalk = at;
    }
    auto *t = static_cast<HtmlTable *>(item->pValue);
    if (t)
        PlaceTable(b, t);
}

void RowTag(Body &b, int tag) {
    HtmlTable *t = b.pTable;
    if (!t || b.Flat)
        return;
    switch (tag) {
    case K_TR:
        b.ColIdx = -1;
        b.CellLeft = t->Left + t->Padding + 1;
        b.RowTop = b.Line;
        b.Column = t->Left + 1;
        break;
    case K_TD:
        b.Line = b.RowTop;
        ++b.ColIdx;
        if (b.ColIdx > 0)
            b.CellLeft += CellWidth(t, b.ColIdx - 1) + 2 * t->Padding + 1;
        b.Column = b.CellLeft;
        break;
    case K_TR_END:
        b.Line = b.RowTop + (b.RowIdx < t->Rows ? t->pRowHeights[b.RowIdx] : 0) + 1;
        ++b.RowIdx;
        break;
    default:
        break;
    }
}

// One body item; false at the end of this table.
bool LayOutItem(Body &b, HtmlItem *item) {
    int tag = TagOf(item);
    if (tag < 0) {
        b.Write(static_cast<const char *>(item->pValue), item->Length);
        return true;
    }
    switch (tag) {
    case K_P:
        if (!b.pTable) {
            b.NewLine();
            b.NewLine();
        }
        break;
    case K_P_END:
        if (!b.pTable)
            b.NewLine();
        break;
    case K_A: OpenLink(b, item); break;
    case K_A_END: CloseLink(b); break;
    case K_BR: case K_H1: case K_H2: case K_H3: case K_H4: case K_H5: case K_H6: case K_DIV:
        b.NewLine();
        break;
    case K_H1_END: case K_H2_END: case K_H3_END: case K_H4_END: case K_H5_END: case K_H6_END:
    case K_DIV_END:
        b.NewLine();
        b.NewLine();
        break;
    case K_OL:
        b.flList = true;
        b.ItemNo = 0;
        break;
    case K_OL_END:
        b.flList = false;
        b.NewLine();
        break;
    case K_LI:
        if (b.flList) {
            char number[32];
            b.NewLine();
            int n = std::snprintf(number, sizeof number, "   %i. ", ++b.ItemNo);
            b.Write(number, n);
        }
        break;
    case K_TR: case K_TD: case K_TR_END:
        RowTag(b, tag);
        break;
    case K_TABLE: case K_FITAB:
        TableTag(b, item, tag);
        break;
    case K_TABLE_END:
        if (b.Flat) {
            --b.Flat;
            break;
        }
        return !b.pTable;
    default:
        break;
    }
    return true;
}

void BuildBody(HtmlFile *file, HtmlTable *table, int depth, int32_t line, int32_t column) {
    Body b{file, table, depth, line, column};
    if (table) {
        DrawTableArea(file, table);
        b.Line = table->Top + 1;
    } else {
        pCurrentPage->Body.pWalk = pCurrentPage->Body.pFirst;
    }
    while (HtmlItem *item = NextItem())
        if (!LayOutItem(b, item))
            return;
    if (table)
        return;
    // a last line that holds text but no line end still belongs to the page
    pCurrentPage->LineCnt = b.Line + (CharAt(b.Line, 0) != '\0' ? 1 : 0);
}

// Attribute values of a table tag, pixels as written.
struct TableAttrs {
    bool flBorder = false;
    long Border = 0, Spacing = 0, Padding = 0;
    char *pWidth = nullptr;
};

// An attribute's number; one far beyond any screen is taken as +-1000000 so that
// the layout's arithmetic on it cannot overflow.
long Number(const char *v) {
    if (*v == '"')
        ++v;
    return std::clamp(std::strtol(v, nullptr, 10), -1000000L, 1000000L);
}

TableAttrs ReadTableAttrs(char *text) {
    TableAttrs a;
    char *p = text;
    for (;;) {
        while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r')
            ++p;
        if (!*p)
            break;
        char *word = p;
        while (*p && *p != ' ' && *p != '\t' && *p != '\n' && *p != '\r')
            ++p;
        if (*p)
            *p++ = '\0';
        char *eq = std::strchr(word, '=');
        char *value = eq ? eq + 1 : nullptr;
        if (eq)
            *eq = '\0';
        switch (FindTokenC(word, TABLE_ATTRS)) {
        case 1:
            a.flBorder = true;
            a.Border = value ? Number(value) : 1;
            break;
        case 2: a.Spacing = value ? Number(value) : 0; break;
        case 3: a.Padding = value ? Number(value) : 0; break;
        case 4:
            if (value)
                a.pWidth = *value == '"' ? value + 1 : value;
            break;
        default: break;
        }
    }
    return a;
}

// Width attribute of a cell in characters, -1 when it has none.
int32_t CellWidthAttr(char *text, int32_t tableWidth, int32_t padding) {
    char *p = StrCaseStr(text, "width=");
    if (!p)
        return -1;
    p += 6;
    long v = Number(p);
    if (std::strchr(p, '%'))
        return Clamp(static_cast<long long>(tableWidth) * v / 100 - 2LL * padding - 1);
    return Clamp(v / HTML_PIXELS_PER_CHAR);
}

struct Measure {
    IntArray Rows{static_cast<int32_t *>(GetMem(MAX_CELLS * sizeof(int32_t)))};
    IntArray Measured{static_cast<int32_t *>(GetMem(MAX_CELLS * sizeof(int32_t)))};
    IntArray Given{static_cast<int32_t *>(GetMem(MAX_CELLS * sizeof(int32_t)))};
    int RowCnt = 0, ColIdx = -1, LinesInCell = 0, Flat = 0;
    int32_t RowHeight = 0;
    bool InRow() const { return RowCnt < MAX_CELLS; }
    bool InCell() const { return ColIdx >= 0 && ColIdx < MAX_CELLS; }
    void Grow(int32_t lines) {
        LinesInCell += lines;
        RowHeight = std::max(RowHeight, static_cast<int32_t>(LinesInCell));
    }
};

void MeasureItem(HtmlFile *file, Measure &m, HtmlTable *t, HtmlItem *item, int depth) {
    switch (FindTokenC(item->pName, TABLE_TAGS)) {
    case T_TR:
        m.RowHeight = 0;
        m.LinesInCell = 0;
        m.ColIdx = -1;
        break;
    case T_TR_END:
        if (m.RowHeight == 0)
            m.RowHeight = m.LinesInCell;
        if (m.InRow())
            m.Rows.get()[m.RowCnt++] = m.RowHeight;
        t->Cols = std::max(t->Cols, static_cast<int32_t>(std::min(m.ColIdx, MAX_CELLS)));
        break;
    case T_TD:
        ++m.ColIdx;
        if (t->Width && m.InCell() && *static_cast<char *>(item->pValue) && m.Given.get()[m.ColIdx] == 0) {
            int32_t w = CellWidthAttr(static_cast<char *>(item->pValue), t->Width, t->Padding);
            if (w >= 0)
                m.Given.get()[m.ColIdx] = w + 1;  // stored one higher: 0 means none
        }
        break;
    case T_TD_END:
        m.LinesInCell = 0;
        break;
    case T_TABLE: {
        if (depth + 1 > MAX_NESTING) {
            ++m.Flat;
            break;
        }
        int32_t avail = 0;
        if (m.InCell())
            avail = m.Given.get()[m.ColIdx] ? m.Given.get()[m.ColIdx] - 1 : m.Measured.get()[m.ColIdx];
        HtmlTable *inner = MeasureTable(file, item, avail, depth + 1);
        if (inner && m.InCell()) {
            m.Measured.get()[m.ColIdx] = std::max(m.Measured.get()[m.ColIdx], inner->Width);
            m.Grow(inner->Height);
        }
        break;
    }
    default:
        break;
    }
}

// Measures the items up to this table's "/table".
void MeasureItems(HtmlFile *file, Measure &m, HtmlTable *t, int depth) {
    while (HtmlItem *item = NextItem()) {
        if (!item->pName) {
            if (m.InCell()) {
                m.Measured.get()[m.ColIdx] = std::max(m.Measured.get()[m.ColIdx], item->Length);
                m.Grow(1);
            }
            continue;
        }
        int tag = FindTokenC(item->pName, TABLE_TAGS);
        if (tag == T_TABLE_END) {
            if (m.Flat == 0)
                return;
            --m.Flat;
        } else if (m.Flat == 0) {
            MeasureItem(file, m, t, item, depth);
        }
    }
}

int32_t *CopyInts(const int32_t *from, int n) {
    auto *to = static_cast<int32_t *>(GetMem(static_cast<int>(std::max(n, 1) * sizeof(int32_t))));
    if (to && n > 0)
        std::memcpy(to, from, static_cast<size_t>(n) * sizeof(int32_t));
    return to;
}

HtmlTable *MeasureTable(HtmlFile *file, HtmlItem *tableItem, int32_t available, int depth) {
    auto *t = static_cast<HtmlTable *>(GetMem(sizeof(HtmlTable)));
    Measure m;
    if (!t || !m.Rows || !m.Measured || !m.Given) {
        PutMem(t);
        return nullptr;
    }
    t->BorderWidth = 1;
    TableAttrs a = ReadTableAttrs(static_cast<char *>(tableItem->pValue));
    t->flBorder = a.flBorder ? 1 : 0;
    t->Cols = std::min(GetColumnCnt(), MAX_CELLS);
    t->Padding = Clamp(a.Padding / HTML_PIXELS_PER_CHAR);
    t->Spacing = Clamp(a.Spacing / HTML_PIXELS_PER_CHAR);
    if (a.pWidth) {
        long long cols = t->Cols;
        long long w = Number(a.pWidth);
        if (!std::strchr(a.pWidth, '%'))
            t->Width = Clamp((w - 2 * cols * a.Padding - (cols + 1) * a.Spacing - (cols + 1) * a.Border) /
                             HTML_PIXELS_PER_CHAR);
        else if (available > 0)
            t->Width = Clamp(static_cast<long long>(available) * w / 100);
    }
    MeasureItems(file, m, t, depth);
    tableItem->pName = HtmlFitab;
    tableItem->pValue = t;
    long long width = 2LL * t->Cols * t->Padding + t->Cols + 1;
    for (int c = 0; c < t->Cols; ++c) {
        int32_t given = m.Given.get()[c];
        if (a.pWidth && t->Width != 0 && given)
            m.Measured.get()[c] = given - 1;
        width += m.Measured.get()[c];
    }
    if (t->Width == 0)
        t->Width = Clamp(width, INT32_MAX / 4);
    t->Rows = m.RowCnt;
    long long height = t->Rows + 1;
    for (int r = 0; r < t->Rows; ++r)
        height += m.Rows.get()[r];
    t->Height = Clamp(height, MAX_IMAGE_LINES);
    t->pRowHeights = CopyInts(m.Rows.get(), t->Rows);
    t->pColWidths = CopyInts(m.Measured.get(), t->Cols);
    if (!t->pRowHeights || !t->pColWidths)
        t->Rows = t->Cols = 0;
    return t;
}

// Draws one rule or row line of a bordered table.
void DrawTableLine(const HtmlTable *t, int32_t line, char end, char fill, char cross) {
    long long base = static_cast<long long>(line) * HTML_IMAGE_WIDTH + t->Left;
    for (int32_t x = 1; x < t->Width - 1; ++x)
        PutAt(base + x, fill);
    long long boundary = 0;
    for (int c = 0; c + 1 < t->Cols; ++c) {
        boundary += t->pColWidths[c] + 2LL * t->Padding + 1;
        PutAt(base + boundary, cross);
    }
    PutAt(base, end);
    PutAt(base + std::max(t->Width - 1, 0), end);
}

}  // namespace

void PrintText(HtmlFile *, int32_t *line, int32_t *column, const char *text, int32_t length, int fill) {
    if (length <= 0 || !text)
        return;
    long long pos = static_cast<long long>(*line) * HTML_IMAGE_WIDTH + *column;
    if (*line >= 0 && *column >= 0 && EnsureLine(pCurrentPage, (pos + length - 1) / HTML_IMAGE_WIDTH)) {
        char *to = pCurrentPage->pImage + pos;
        if (fill || length == 1)
            std::memset(to, text[0], static_cast<size_t>(length));
        else
            std::memcpy(to, text, static_cast<size_t>(length));
    } else {
        for (int32_t i = 0; i < length; ++i)  // as much as the image can hold
            PutAt(pos + i, fill ? text[0] : text[i]);
    }
    if (length < HTML_IMAGE_WIDTH) {
        *column += length;
    } else {
        *line += length / HTML_IMAGE_WIDTH;
        *column = length % HTML_IMAGE_WIDTH;
    }
}

int GetColumnCnt() {
    List *body = &pCurrentPage->Body;
    ListLink *at = body->pWalk;
    int depth = 0, cells = 0, most = 0;
    while (HtmlItem *item = NextItem()) {
        if (!item->pName)
            continue;
        int tag = FindTokenC(item->pName, ",table,/table,tr,td,/tr,");
        if (tag == 1 || item->pName == HtmlFitab) {
            ++depth;
        } else if (tag == 2) {
            if (depth == 0)
                break;
            --depth;
        } else if (depth == 0 && tag == 3) {
            cells = 0;
        } else if (depth == 0 && tag == 4) {
            ++cells;
        } else if (depth == 0 && tag == 5) {
            most = std::max(most, cells);
        }
    }
    body->pWalk = at;
    return most;
}

HtmlTable *GetTextTable(HtmlFile *file, HtmlItem *tableItem, int32_t available) {
    return MeasureTable(file, tableItem, available, 1);
}

void DrawTableArea(HtmlFile *, HtmlTable *t) {
    if (!t->flBorder) {
        for (int32_t y = 0; y < t->Height; ++y) {
            int32_t line = t->Top + y, column = t->Left;
            PrintText(nullptr, &line, &column, " ", t->Width, 1);
        }
        return;
    }
    int32_t line = t->Top;
    for (int r = 0; r < t->Rows; ++r) {
        DrawTableLine(t, line++, '|', '-', '+');
        for (int32_t k = 0; k < t->pRowHeights[r]; ++k)
            DrawTableLine(t, line++, '|', ' ', '|');
    }
    DrawTableLine(t, line, '\'', '-', '+');
    PutAt(static_cast<long long>(t->Top) * HTML_IMAGE_WIDTH + t->Left, ',');
    PutAt(static_cast<long long>(t->Top) * HTML_IMAGE_WIDTH + t->Left + std::max(t->Width - 1, 0), ',');
}

void BuildTextBody(HtmlFile *file, HtmlTable *table, int32_t line, int32_t column) {
    BuildBody(file, table, table ? 1 : 0, line, column);
}

void BuildTextImage(HtmlFile *file) {
    HtmlPage *page = pCurrentPage;
    page->LineCnt = 0;
    page->ImageLines = 0;
    if (!EnsureLine(page, std::max(page->Body.Count, 1) - 1))
        return;
    int32_t start = 0;
    bool inTitle = false;
    for (auto *item = static_cast<HtmlItem *>(ListWalk(&page->Head, 0)); item;
         item = static_cast<HtmlItem *>(ListWalk(&page->Head, 1))) {
        if (item->pName) {
            int tag = FindTokenC(item->pName, ",title,/title,");
            if (tag)
                inTitle = tag == 1;
            continue;
        }
        if (!inTitle)
            continue;
        int32_t line = start, column = 0;
        if (item->Length < TITLE_WIDTH)
            PrintText(file, &line, &column, " ", (TITLE_WIDTH - item->Length) / 2, 1);
        PrintText(file, &line, &column, static_cast<const char *>(item->pValue), item->Length, 0);
        start += 2;
    }
    BuildTextBody(file, nullptr, start, 0);
}

void PrintTextImage(HtmlFile *file) {
    HtmlPage *page = pCurrentPage;
    if (!page->pImage)
        BuildTextImage(file);
    if (!page->pImage)
        return;
    int32_t lines = std::min(page->LineCnt, page->ImageLines);
    // where each image line starts in the page text; run-on lines continue their first
    IntArray starts(static_cast<int32_t *>(GetMem(static_cast<int>((lines + 1) * sizeof(int32_t)))));
    IntArray ends(static_cast<int32_t *>(GetMem(static_cast<int>((lines + 1) * sizeof(int32_t)))));
    if (!starts || !ends)
        return;
    char *image = page->pImage;
    long long limit = static_cast<long long>(page->ImageLines) * HTML_IMAGE_WIDTH;
    long long out = 0;
    for (int32_t i = 0; i < lines;) {
        const char *from = image + static_cast<long long>(i) * HTML_IMAGE_WIDTH;
        long long len = strnlen(from, static_cast<size_t>(limit - static_cast<long long>(i) * HTML_IMAGE_WIDTH));
        std::memmove(image + out, from, static_cast<size_t>(len));
        int32_t covered = static_cast<int32_t>(len / HTML_IMAGE_WIDTH) + 1;
        for (int32_t k = 0; k < covered && i + k < lines; ++k) {
            starts.get()[i + k] = static_cast<int32_t>(out + static_cast<long long>(k) * HTML_IMAGE_WIDTH);
            ends.get()[i + k] = static_cast<int32_t>(out + len);
        }
        out += len;
        image[out++] = '\n';
        i += covered;
    }
    image[out] = '\0';
    page->LineCnt = lines;
    // the page text is far shorter than the image: give the rest back
    if (char *shrunk = static_cast<char *>(AdjustMem(image, static_cast<int>(out + 1)))) {
        page->pImage = shrunk;
        page->ImageLines = static_cast<int32_t>(out / HTML_IMAGE_WIDTH);
    }
    for (auto **p = static_cast<HtmlLink **>(ListWalk(&page->Links, 0)); p;
         p = static_cast<HtmlLink **>(ListWalk(&page->Links, 1))) {
        HtmlLink *link = *p;
        long long pos = static_cast<long long>(link->Line) * HTML_IMAGE_WIDTH + link->Column;
        long long at = pos / HTML_IMAGE_WIDTH;
        long long start = out, end = out;
        if (link->Line >= 0 && link->Column >= 0 && at < lines) {
            start = std::min<long long>(starts.get()[at] + pos % HTML_IMAGE_WIDTH, ends.get()[at]);
            end = std::min<long long>(start + link->Length, out);
        }
        link->Line = static_cast<int32_t>(start);
        link->Column = static_cast<int32_t>(end);
    }
}
