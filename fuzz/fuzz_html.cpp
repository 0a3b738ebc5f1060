// fuzz_html.cpp - libFuzzer target over the help viewer's reading of untrusted help
// files: the parser, the page layout of every page, the help menu built for each page
// and the jumps to the targets its links name within the file. Every link's offsets
// must lie inside its page text. The file table is emptied after each input.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "HelpTty.h"
#include "Html.h"
#include "MemMgr.h"
#include "TextMenu.h"

namespace {

void CheckLinks(HtmlPage *page) {
    size_t len = page->pImage ? std::strlen(page->pImage) : 0;
    for (auto **p = static_cast<HtmlLink **>(ListWalk(&page->Links, 0)); p;
         p = static_cast<HtmlLink **>(ListWalk(&page->Links, 1))) {
        const HtmlLink *l = *p;
        if (l->Line < 0 || l->Line > l->Column || static_cast<size_t>(l->Column) > len)
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    auto *text = static_cast<char *>(GetMem(static_cast<int>(size) + 1));
    if (!text)
        return 0;
    std::memcpy(text, data, size);
    HtmlFile *file = ParseHtmlFile("fuzz.html", text);
    PutMem(text);
    if (file) {
        for (auto *page = static_cast<HtmlPage *>(ListWalk(&file->Pages, 0)); page;
             page = static_cast<HtmlPage *>(ListWalk(&file->Pages, 1))) {
            CheckLinks(page);
            ListLink *next = file->Pages.pWalk;
            pCurrentPage = page;
            TtyHelpBuildMenuItems();
            for (int i = 1; HelpMenuItems[i].pfnHandler == TtyHelpGotoLink; ++i) {
                auto *link = static_cast<HtmlLink *>(HelpMenuItems[i].pUserData);
                if (link->pTarget && link->pTarget[0] == '#')
                    GoToTarget(link->pTarget);
            }
            file->Pages.pWalk = next;
        }
    }
    HtmlSetHistory(0);
    HtmlFreeFiles();
    return 0;
}
