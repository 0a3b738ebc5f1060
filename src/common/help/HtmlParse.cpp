// HtmlParse.cpp - help files cut into pages of tag and text items, in place.
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "Files.h"
#include "Html.h"
#include "MemMgr.h"
#include "StrUtils.h"
#include "Tokens.h"

HtmlFile *HtmlFileTable[HTML_MAX_FILES];
int32_t FileIndex = 0;
int32_t CurrentFile = 0;
HtmlPage *pCurrentPage = nullptr;
unsigned char flBuildingFile = 0;

const char HTMLKeys[] =
    ",nbsp;,iexcl;,cent;,pound;,curren;,yen;,brvbar;,sect;,uml;,copy;,ordf;,laquo;,not;,shy;"
    ",reg;,macr;,deg;,plusmn;,sup2;,sup3;,acute;,micro;,para;,middot;,cedil;,sup1;,ordm;"
    ",raquo;,frac14;,frac12;,frac34;,iquest;,Agrave;,Aacute;,Acirc;,Atilde;,Auml;,Aring;"
    ",AElig;,Ccedil;,Egrave;,Eacute;,Ecirc;,Euml;,Igrave;,Iacute;,Icirc;,Iuml;,ETH;,Ntilde;"
    ",Ograve;,Oacute;,Ocirc;,Otilde;,Ouml;,times;,Oslash;,Ugrave;,Uacute;,Ucirc;,Uuml;"
    ",Yacute;,THORN;,szlig;,agrave;,aacute;,acirc;,atilde;,auml;,aring;,aelig;,ccedil;"
    ",egrave;,eacute;,ecirc;,euml;,igrave;,iacute;,icirc;,iuml;,eth;,ntilde;,ograve;"
    ",oacute;,ocirc;,otilde;,ouml;,divide;,oslash;,ugrave;,uacute;,ucirc;,uuml;,yacute;"
    ",thorn;,yuml;";

// The character of each entity (position k stands for 159 + k) and the length of its
// name with the semicolon.
const unsigned char HTMLChars[96] = {
    160, 161, 162, 163, 164, 165, 166, 167, 168, 169, 170, 171, 172, 173, 174, 175,
    176, 177, 178, 179, 180, 181, 182, 183, 184, 185, 186, 187, 188, 189, 190, 191,
    192, 193, 194, 195, 196, 197, 198, 199, 200, 201, 202, 203, 204, 205, 206, 207,
    208, 209, 210, 211, 212, 213, 214, 215, 216, 217, 218, 219, 220, 221, 222, 223,
    224, 225, 226, 227, 228, 229, 230, 231, 232, 233, 234, 235, 236, 237, 238, 239,
    240, 241, 242, 243, 244, 245, 246, 247, 248, 249, 250, 251, 252, 253, 254, 255,
};
const int HTMLKeySizes[96] = {
    5, 6, 5, 6, 7, 4, 7, 5, 4, 5, 5, 6, 4, 4, 4, 5,
    4, 7, 5, 5, 6, 6, 5, 7, 6, 5, 5, 6, 7, 7, 7, 7,
    7, 7, 6, 7, 5, 6, 6, 7, 7, 7, 6, 5, 7, 7, 6, 5,
    4, 7, 7, 7, 6, 7, 5, 6, 7, 7, 7, 6, 5, 7, 6, 6,
    7, 7, 6, 7, 5, 6, 6, 7, 7, 7, 6, 5, 7, 7, 6, 5,
    4, 7, 7, 7, 6, 7, 5, 7, 7, 7, 7, 6, 5, 7, 6, 5,
};

namespace {

constexpr int ENTITY_REACH = 16;  // the ";" must come less than this after the "&"
constexpr const char *FILE_TAGS = ",html,head,body,/html,";
enum { TAG_HTML = 1, TAG_HEAD = 2, TAG_BODY = 3 };

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

char *SkipBlanks(char *p) {
    while (IsSpace(*p))
        ++p;
    return p;
}

// Cuts the tag name at its first blank; returns the attribute text ("" when none).
char *SplitTag(char **tag) {
    char *name = SkipBlanks(*tag);
    *tag = name;
    char *p = name;
    while (*p && !IsSpace(*p))
        ++p;
    if (!*p)
        return p;
    *p = '\0';
    return p + 1;
}

// The next blank-delimited word of an attribute text, cut in place; null at the end.
char *NextWord(char **cursor) {
    char *p = SkipBlanks(*cursor);
    if (!*p)
        return nullptr;
    char *word = p;
    while (*p && !IsSpace(*p))
        ++p;
    if (*p)
        *p++ = '\0';
    *cursor = p;
    return word;
}

// A run of text being compacted in place: output never gets ahead of input.
struct Run {
    char *pStart = nullptr;
    char *pWrite = nullptr;
    void Put(char *at, char c) {
        if (!pStart)
            pStart = pWrite = at;
        *pWrite++ = c;
    }
    void Close(List *list) {
        if (!pStart)
            return;
        *pWrite = '\0';
        AddAtribute(list, nullptr, pStart);
        pStart = pWrite = nullptr;
    }
};

// The entity at p ("&..."): its character and the bytes it takes, or false.
bool ReadEntity(const char *p, unsigned char *c, int *used) {
    if (strncasecmp(p + 1, "quot;", 5) == 0) {
        *c = '"';
        *used = 6;
        return true;
    }
    const char *semi = static_cast<const char *>(std::memchr(p + 1, ';', ENTITY_REACH - 1));
    if (!semi || std::memchr(p + 1, '\0', static_cast<size_t>(semi - p)))
        return false;
    char name[ENTITY_REACH + 1];
    size_t n = static_cast<size_t>(semi - p);  // the name and its semicolon
    std::memcpy(name, p + 1, n);
    name[n] = '\0';
    int k = FindToken(name, HTMLKeys);
    if (k == 0)
        return false;
    *c = HTMLChars[k - 1];
    *used = HTMLKeySizes[k - 1] + 1;
    return true;
}

// A tag of a page's head or body at p ("<"); *next gets where parsing goes on. True
// when it was the closing tag.
bool TakeTag(char *p, List *list, const char *endTag, Run *run, char **next) {
    *p = '\0';
    run->Close(list);
    char *tag = p + 1;
    char *close = std::strchr(tag, '>');
    *next = close ? close + 1 : tag + std::strlen(tag);
    if (close)
        *close = '\0';
    char *attrs = SplitTag(&tag);
    if (tag[0] == '/' && strcasecmp(tag + 1, endTag) == 0)
        return true;
    AddAtribute(list, tag, attrs);
    return false;
}

void HtmlTag(HtmlFile *file, char *attrs, int *htmlTags) {
    if (std::strstr(attrs, "SkipPage")) {
        char *end = StrCaseStr(file->pCursor, "/HTML");
        char *close = end ? std::strchr(end, '>') : nullptr;
        if (close)
            file->pCursor = close + 1;
        return;
    }
    char *page = StrCaseStr(attrs, "page=\"");
    if (*htmlTags == 0 || page) {
        HtmlPage fresh{};
        if (page) {
            fresh.pName = page + 6;
            char *quote = std::strchr(fresh.pName, '"');
            if (quote)
                *quote = '\0';
        }
        auto *added = static_cast<HtmlPage *>(ListPushItem(&file->Pages, &fresh, sizeof fresh));
        if (added)
            pCurrentPage = added;
    }
    ++*htmlTags;
}

void ParsePages(HtmlFile *file) {
    int htmlTags = 0;
    pCurrentPage = nullptr;
    while (char *tag = GetKeyWord(file)) {
        char *attrs = SplitTag(&tag);
        switch (FindTokenC(tag, FILE_TAGS)) {
        case TAG_HTML:
            HtmlTag(file, attrs, &htmlTags);
            break;
        case TAG_HEAD:
            if (pCurrentPage && pCurrentPage->Head.Count == 0)
                ParseHtml(file, &pCurrentPage->Head, "head");
            break;
        case TAG_BODY:
            if (pCurrentPage)
                ParseHtml(file, &pCurrentPage->Body, "body");
            break;
        default:
            break;
        }
    }
}

void LayOutPages(HtmlFile *file) {
    for (auto *page = static_cast<HtmlPage *>(ListWalk(&file->Pages, 0)); page;
         page = static_cast<HtmlPage *>(ListWalk(&file->Pages, 1))) {
        pCurrentPage = page;
        // the layout walks the page's own lists; the page walk is kept aside
        ListLink *next = file->Pages.pWalk;
        PrintTextImage(file);
        file->Pages.pWalk = next;
    }
    pCurrentPage = static_cast<HtmlPage *>(ListWalk(&file->Pages, 0));
}

void FreeItems(List *list) {
    for (auto *item = static_cast<HtmlItem *>(ListWalk(list, 0)); item;
         item = static_cast<HtmlItem *>(ListWalk(list, 1))) {
        if (!item->pName)
            continue;
        if (strcasecmp(item->pName, "a") == 0) {
            PutMem(item->pValue);
        } else if (item->pName == HtmlFitab) {
            auto *t = static_cast<HtmlTable *>(item->pValue);
            PutMem(t->pRowHeights);
            PutMem(t->pColWidths);
            PutMem(t);
        }
    }
    ListDelAllItems(list);
}

void FreeFile(HtmlFile *file) {
    for (auto *page = static_cast<HtmlPage *>(ListWalk(&file->Pages, 0)); page;
         page = static_cast<HtmlPage *>(ListWalk(&file->Pages, 1))) {
        PutMem(page->pImage);
        FreeItems(&page->Head);
        FreeItems(&page->Body);
        ListDelAllItems(&page->Links);
    }
    ListDelAllItems(&file->Pages);
    PutMem(file->pText);
    PutMem(file->pName);
    PutMem(file);
}

int FindRegistered(const char *name) {
    for (int i = 0; i < FileIndex; ++i)
        if (std::strcmp(HtmlFileTable[i]->pName, name) == 0)
            return i;
    return -1;
}

}  // namespace

char *GetKeyWord(HtmlFile *file) {
    char *open = std::strchr(file->pCursor, '<');
    if (!open)
        return nullptr;
    *open = '\0';
    char *close = std::strchr(open + 1, '>');
    if (!close) {
        file->pCursor = open + 1 + std::strlen(open + 1);
        return nullptr;
    }
    *close = '\0';
    file->pCursor = close + 1;
    return open + 1;
}

HtmlItem *AddAtribute(List *list, char *name, char *value) {
    HtmlItem fresh{name, value, static_cast<int32_t>(std::strlen(value))};
    auto *item = static_cast<HtmlItem *>(ListPushItem(list, &fresh, sizeof fresh));
    if (!item || !name || strcasecmp(name, "a") != 0)
        return item;
    auto *link = static_cast<HtmlLink *>(GetMem(sizeof(HtmlLink)));
    item->pValue = link;
    if (!link)
        return item;
    char *cursor = value;
    while (char *word = NextWord(&cursor)) {
        char *eq = std::strchr(word, '=');
        if (!eq)
            continue;
        *eq = '\0';
        char *v = eq + 1;
        if (*v == '"') {
            ++v;
            char *quote = std::strchr(v, '"');
            if (quote)
                *quote = '\0';
        }
        if (strcasecmp(word, "name") == 0) {
            link->pTarget = v;
            link->Kind = HTMLLINK_NAME;
        } else if (strcasecmp(word, "href") == 0) {
            link->pTarget = v;
            link->Kind = HTMLLINK_HREF;
        }
    }
    return item;
}

void ParseHtml(HtmlFile *file, List *list, const char *endTag) {
    Run run;
    char *p = file->pCursor;
    while (*p) {
        if (IsSpace(*p)) {
            if (!run.pStart) {
                *p++ = '\0';
                continue;
            }
            run.Put(p, *p);
            p = SkipBlanks(p + 1);
        } else if (*p == '<') {
            char *next;
            bool closing = TakeTag(p, list, endTag, &run, &next);
            p = next;
            if (closing)
                break;
        } else if (*p == '&' && p[1] == '#') {
            long code = std::strtol(p + 2, nullptr, 10);
            run.Put(p, static_cast<char>(static_cast<unsigned char>(code & 0xFF)));
            char *semi = std::strchr(p + 2, ';');
            p = semi ? semi + 1 : p + std::strlen(p);
        } else if (*p == '&') {
            unsigned char c;
            int used;
            if (ReadEntity(p, &c, &used)) {
                run.Put(p, static_cast<char>(c));
                p += used;
            } else if (run.pStart) {
                run.Put(p, *p);
                ++p;
            } else {
                *p++ = '\0';
            }
        } else {
            run.Put(p, *p);
            ++p;
        }
    }
    file->pCursor = p;
}

HtmlFile *FindHtmlFile(const char *name) {
    int i = name ? FindRegistered(name) : -1;
    if (i < 0)
        return nullptr;
    CurrentFile = i;
    return HtmlFileTable[i];
}

HtmlFile *ParseHtmlFile(const char *name, const char *buffer) {
    if (!name || strncasecmp(name, "http://", 7) == 0)
        return nullptr;
    if (strncasecmp(name, "file://", 7) == 0)
        name += 7;
    char *own = SaveStr_(name);
    char *hash = std::strchr(own, '#');
    const char *target = hash ? hash + 1 : "";
    if (hash)
        *hash = '\0';
    int known = FindRegistered(own);
    if (known >= 0 && HtmlFileTable[known]->Pages.Count > 0) {
        PutMem(own);
        CurrentFile = known;
        pCurrentPage = static_cast<HtmlPage *>(ListWalk(&HtmlFileTable[known]->Pages, 0));
        return HtmlFileTable[known];
    }
    char *text = buffer ? SaveStr_(buffer) : GetSavedFileContent(own, nullptr);
    if (!text || FileIndex >= HTML_MAX_FILES) {
        PutMem(text);
        PutMem(own);
        return nullptr;
    }
    auto *file = static_cast<HtmlFile *>(GetMem(sizeof(HtmlFile)));
    if (!file) {
        PutMem(text);
        PutMem(own);
        return nullptr;
    }
    file->pName = own;
    file->pText = file->pCursor = text;
    ParsePages(file);
    if (file->Pages.Count == 0) {
        // nothing of it is kept: the slot stays free
        PutMem(text);
        PutMem(own);
        PutMem(file);
        return nullptr;
    }
    HtmlFileTable[FileIndex] = file;
    CurrentFile = FileIndex++;
    LayOutPages(file);
    if (*target) {
        char *saved = SaveStr_(target);
        GoToTarget(saved);
        PutMem(saved);
    }
    return file;
}

void HtmlFreeFiles() {
    for (int i = 0; i < FileIndex; ++i) {
        FreeFile(HtmlFileTable[i]);
        HtmlFileTable[i] = nullptr;
    }
    FileIndex = 0;
    CurrentFile = 0;
    pCurrentPage = nullptr;
}
