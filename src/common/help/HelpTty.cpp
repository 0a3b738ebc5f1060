// HelpTty.cpp - the help viewer: history, links and the help menu run by the menu
// engine.
#include "HelpTty.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

#include "Html.h"
#include "MemMgr.h"
#include "NlsUtils.h"
#include "StrUtils.h"
#include "TextMenu.h"

// The tables name only the fields they set; the rest start at zero.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

HtmlHistory History[HTML_HISTORY_SIZE];
int32_t HistoryCnt = 0;
int32_t TargetPos = 0;

TextMenuItem *HelpMenuItems = nullptr;
int32_t HelpMenuItemCnt = 0;

TextMenu HelpMenu = {
    .pTitle = nullptr,
    .TitleStyle = 1,
    .Flags = MENU_SINGLESPACE | MENU_KEEPTYPE | MENU_REINIT | MENU_NORETURNEXIT,
};

const TextMenuItem HelpCommonItems[HELP_COMMON_ITEMS] = {
    {.pText = "", .Type = MENUITEM_BAR, .Value = 1},
    {.pText = "", .Type = MENUITEM_BAR, .Value = 3},
    {.pText = "~e Exit Help", .Type = MENUITEM_EXIT, .Key = 'e'},
    {.pText = "~c Contents", .Type = MENUITEM_ACTION, .pfnHandler = TtyHelpContents, .Key = 'c'},
    {.pText = "~b Back", .Type = MENUITEM_ACTION, .pfnHandler = TtyHelpBack, .Key = 'b'},
    {.pText = nullptr},
};

namespace {

constexpr int LINK_TEXT_MAX = 127;  // characters of a link shown as an item
constexpr int LABEL_SIZE = 256;
constexpr const char *MAKER = "Talvo";

struct HelpState {
    int32_t LinkItems;  // link items of the last build, whose texts are saved strings
    int32_t RootFile;   // the file the help was opened on: where Contents goes
    char Labels[3][LABEL_SIZE];
    char Title[LABEL_SIZE];
    char *pTitleCopy;
    char FindKey[64];
    char RedirectKey[64];
};
HelpState H;

HtmlFile *CurrentHtmlFile() {
    return CurrentFile >= 0 && CurrentFile < FileIndex ? HtmlFileTable[CurrentFile] : nullptr;
}

HtmlPage *FirstPage(HtmlFile *file) {
    return file ? static_cast<HtmlPage *>(ListWalk(&file->Pages, 0)) : nullptr;
}

// A label of the three lettered items: the message when it reads "~x ...", otherwise
// the built-in English one (so that its key is always its letter).
const char *Label(int index) {
    char *buf = H.Labels[index];
    FetchMenuMessage(20, 150 + index, buf, LABEL_SIZE);
    if (buf[0] != '~' || buf[1] == '\0' || buf[2] != ' ')
        std::snprintf(buf, LABEL_SIZE, "%s", HelpCommonItems[2 + index].pText);
    return buf;
}

void SetTitle() {
    char format[LABEL_SIZE];
    FetchMenuMessage(30, 22, format, sizeof format);
    NlsFormatChecked(H.Title, sizeof H.Title, format, "Talvo Help", "%s Help", MAKER);
    HelpMenu.pTitle = H.Title;
}

void FreeLinkItems() {
    for (int32_t i = 1; i <= H.LinkItems; ++i)
        PutMem(const_cast<char *>(HelpMenuItems[i].pText));
    H.LinkItems = 0;
}

bool GrowItems(int32_t links) {
    if (links <= HelpMenuItemCnt - 7)
        return true;
    auto *grown = static_cast<TextMenuItem *>(AdjustMem(HelpMenuItems, static_cast<int>((links + 7) * sizeof(TextMenuItem))));
    if (!grown)
        return false;
    HelpMenuItems = grown;
    HelpMenuItemCnt = links + 7;
    HelpMenu.pItems = HelpMenuItems;
    return true;
}

bool Shown(const HtmlPage *page, const HtmlLink *link) {
    if (link->Column - link->Line <= 0)
        return false;
    return !(link->Kind == HTMLLINK_NAME && link->pTarget && page->pName && std::strcmp(link->pTarget, page->pName) == 0);
}

char *LinkText(const HtmlPage *page, const HtmlLink *link) {
    int32_t n = link->Column - link->Line - 2;
    if (n < 0)
        n = 0;
    if (n > LINK_TEXT_MAX)
        n = LINK_TEXT_MAX;
    char *text = static_cast<char *>(GetMem(n + 1));
    if (text && n > 0)
        std::memcpy(text, page->pImage + link->Line + 1, static_cast<size_t>(n));
    return text;
}

bool IsRemoteOrFile(const char *target) {
    return strncasecmp(target, "http://", 7) == 0 || strncasecmp(target, "file://", 7) == 0;
}

}  // namespace

void TtyHelpBuildMenuItems() {
    HtmlPage *page = pCurrentPage;
    if (!page)
        return;
    FreeLinkItems();
    if (!GrowItems(page->Links.Count))
        return;
    TextMenuItem *items = HelpMenuItems;
    items[0] = TextMenuItem{.pText = page->pImage ? page->pImage : "", .Type = MENUITEM_TEXT};
    if (!page->pName)
        page->pName = const_cast<char *>("contents");
    int32_t n = 1;
    for (auto **p = static_cast<HtmlLink **>(ListWalk(&page->Links, 0)); p;
         p = static_cast<HtmlLink **>(ListWalk(&page->Links, 1))) {
        if (!Shown(page, *p))
            continue;
        items[n] = TextMenuItem{.pText = LinkText(page, *p), .Type = MENUITEM_ACTION,
                                .pfnHandler = TtyHelpGotoLink, .pUserData = *p, .Key = n};
        ++n;
    }
    H.LinkItems = n - 1;
    for (int i = 0; i < HELP_COMMON_ITEMS; ++i)
        items[n + i] = HelpCommonItems[i];
    for (int i = 0; i < 3; ++i) {
        items[n + 2 + i].pText = Label(i);
        items[n + 2 + i].Key = static_cast<unsigned char>(items[n + 2 + i].pText[1]);
    }
    SetTitle();
}

int HtmlHelp(const char *name, const char *buffer) {
    if (!name)
        return 0;
    HistoryCnt = 0;
    flBuildingFile = 1;
    HtmlFile *file = ParseHtmlFile(name, buffer);
    flBuildingFile = 0;
    if (file) {
        H.RootFile = CurrentFile;
        return 1;
    }
    if (buffer)
        std::printf("Error reading HTML buffer\n");
    else
        std::printf("Error in reading HTML file %s\n", name);
    return 0;
}

void TtyHtmlHelp(const char *name, const char *data, const char *title) {
    if (!name || !title)
        return;
    if (!HtmlHelp(name, data))
        return;
    PutMem(H.pTitleCopy);
    H.pTitleCopy = SaveStr_(title);
    HelpMenu.pTitle = H.pTitleCopy;
    TtyHelpBuildMenuItems();
    RunMenu(&HelpMenu, nullptr, 1);
}

int TtyHelpGotoLink(TextMenu *, TextMenuItem *item) {
    ProcessLink(static_cast<HtmlLink *>(item->pUserData));
    TtyHelpBuildMenuItems();
    return 0;
}

int TtyHelpContents(TextMenu *, TextMenuItem *) {
    if (HtmlSetHistory(0))
        TtyHelpBuildMenuItems();
    return 0;
}

int TtyHelpBack(TextMenu *, TextMenuItem *) {
    if (HtmlSetHistory(-1))
        TtyHelpBuildMenuItems();
    return 0;
}

void SetHistory() {
    if (HistoryCnt >= HTML_HISTORY_SIZE)
        return;
    History[HistoryCnt++] = HtmlHistory{CurrentFile, pCurrentPage, TargetPos};
}

int HtmlSetHistory(int direction) {
    if (HistoryCnt == 0)
        return 0;
    if (direction == 0) {
        HistoryCnt = 0;
        // the file the help was opened on, which is file 0 only in a program that
        // never opened another help file
        CurrentFile = H.RootFile;
        HtmlPage *first = FirstPage(CurrentHtmlFile());
        if (first)
            pCurrentPage = first;
    } else if (direction == -1) {
        const HtmlHistory &last = History[--HistoryCnt];
        CurrentFile = last.File;
        pCurrentPage = last.pPage;
    }
    return 1;
}

void GoToTarget(const char *target) {
    HtmlFile *file = CurrentHtmlFile();
    if (!file || !target)
        return;
    if (*target == '#')
        ++target;
    ListLink *keep = file->Pages.pWalk;
    for (auto *page = static_cast<HtmlPage *>(ListWalk(&file->Pages, 0)); page;
         page = static_cast<HtmlPage *>(ListWalk(&file->Pages, 1))) {
        if (page->pName && std::strcmp(page->pName, target) == 0) {
            TargetPos = 0;
            SetHistory();
            pCurrentPage = page;
            break;
        }
        HtmlLink *anchor = nullptr;
        ListLink *at = page->Links.pWalk;
        for (auto **p = static_cast<HtmlLink **>(ListWalk(&page->Links, 0)); p && !anchor;
             p = static_cast<HtmlLink **>(ListWalk(&page->Links, 1)))
            if ((*p)->Kind == HTMLLINK_NAME && (*p)->pTarget && std::strcmp((*p)->pTarget, target) == 0)
                anchor = *p;
        page->Links.pWalk = at;
        if (anchor) {
            SetHistory();
            pCurrentPage = page;
            TargetPos = anchor->Line;
            break;
        }
    }
    file->Pages.pWalk = keep;
}

void ProcessLink(HtmlLink *link) {
    if (!link || !link->pTarget)
        return;
    const char *target = link->pTarget;
    unsigned char wasBuilding = flBuildingFile;
    flBuildingFile = 1;
    HtmlFile *current = CurrentHtmlFile();
    const char *hash = std::strrchr(target, '#');
    if (!IsRemoteOrFile(target) && target[0] == '#') {
        GoToTarget(target);
    } else if (hash && current &&
               std::strncmp(target, StripPathName(current->pName), static_cast<size_t>(hash - target)) == 0) {
        GoToTarget(hash);
    } else if (HtmlFile *known = FindHtmlFile(target)) {
        pCurrentPage = FirstPage(known);
    } else if (!ParseHtmlFile(target, nullptr)) {
        std::printf("Error in reading file %s\n", target);
    }
    flBuildingFile = wasBuilding;
}

void HtmlProcessLink(int32_t position) {
    if (flBuildingFile || FileIndex == 0 || !pCurrentPage || pCurrentPage->Links.Count == 0)
        return;
    HtmlLink *hit = nullptr;
    for (auto **p = static_cast<HtmlLink **>(ListWalk(&pCurrentPage->Links, 0)); p && !hit;
         p = static_cast<HtmlLink **>(ListWalk(&pCurrentPage->Links, 1)))
        if ((*p)->Kind == HTMLLINK_HREF && (*p)->Line <= position && (*p)->Column > position)
            hit = *p;
    if (!hit)
        return;
    TargetPos = position;
    ProcessLink(hit);
}

char *FindRedirect(char *name) {
    char *mark = name ? std::strstr(name, "$$") : nullptr;
    if (!mark)
        return nullptr;
    char *dot = std::strchr(mark + 2, '.');
    if (!dot || strncasecmp(dot, ".redirect", 9) != 0)
        return nullptr;
    *dot = '\0';
    std::snprintf(H.FindKey, sizeof H.FindKey, "%s", mark + 2);
    return H.FindKey;
}

char *CheckForRedirect(char *name, size_t size) {
    char *key = FindRedirect(name);
    if (!key)
        return nullptr;
    std::memset(H.RedirectKey, 0, sizeof H.RedirectKey);
    std::snprintf(H.RedirectKey, sizeof H.RedirectKey, "%s", key);
    char *value = NlsFetchString(pPrtHelpDB, nullptr, NLS_BY_KEY, H.RedirectKey);
    if (!NlsIsMissing(value) && size > 0)
        std::snprintf(name, size, "%s", value);
    NlsFreeString(value);
    return H.RedirectKey;
}
