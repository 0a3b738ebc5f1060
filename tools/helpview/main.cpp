// helpview - the help viewer for help-page writers and tests.
//   helpview FILE[#TARGET] [TITLE]   browse FILE on the terminal (title "Help")
//   helpview --dump FILE             print every page as laid out, with its links
//   helpview --help
// Exit status: 0 done, 1 the file could not be read or parsed, 2 a wrong command line.
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "DbmT.h"
#include "Errors.h"
#include "HelpTty.h"
#include "Html.h"
#include "Env.h"
#include "Log.h"
#include "NlsUtils.h"
#include "StrUtils.h"

namespace {

const char *const Usage =
    "usage: helpview FILE[#TARGET] [TITLE]\n"
    "       helpview --dump FILE\n"
    "       helpview --help\n"
    "Shows FILE in the help viewer as a menu's h key does (title \"Help\" by default),\n"
    "or, with --dump, prints each page as laid out: \"== page NAME ==\", the page text,\n"
    "then one line per link: number, kind, start, end and target, separated by tabs.\n";

int BadUsage(const char *why) {
    std::fprintf(stderr, "helpview: %s (helpview --help shows the usage)\n", why);
    return 2;
}

// The message database of LANG beside the program, when there is one.
void OpenMessages() {
    const char *lang = GetDesiredNLSLang();
    std::string path = std::string(pToolPath) + "/db/" + lang + "/CoreString.xdb";
    if (access(path.c_str(), R_OK) == 0)
        pDrvCoreDB = NlsOpenDB("CoreString", DBT_NOCHECK | DBT_NOWRITE);
}

void DumpPage(const HtmlPage *page) {
    std::printf("== page %s ==\n", page->pName ? page->pName : "contents");
    std::fputs(page->pImage ? page->pImage : "", stdout);
    int n = 0;
    List *links = const_cast<List *>(&page->Links);
    for (auto **p = static_cast<HtmlLink **>(ListWalk(links, 0)); p;
         p = static_cast<HtmlLink **>(ListWalk(links, 1))) {
        const HtmlLink *link = *p;
        std::printf("%i\t%i\t%i\t%i\t%s\n", ++n, link->Kind, link->Line, link->Column,
                    link->pTarget ? link->pTarget : "");
    }
}

int Dump(const char *name) {
    flBuildingFile = 1;
    HtmlFile *file = ParseHtmlFile(name, nullptr);
    flBuildingFile = 0;
    if (!file) {
        std::fprintf(stderr, "Error in reading HTML file %s\n", name);
        return 1;
    }
    for (auto *page = static_cast<HtmlPage *>(ListWalk(&file->Pages, 0)); page;
         page = static_cast<HtmlPage *>(ListWalk(&file->Pages, 1)))
        DumpPage(page);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
    static char name[] = "helpview";
    my_name = name;
    flUseLog = 0;
    if (argc < 2)
        return BadUsage("a help file is needed");
    if (std::strcmp(argv[1], "--help") == 0) {
        std::fputs(Usage, stdout);
        return argc == 2 ? 0 : BadUsage("--help takes no arguments");
    }
    if (std::strcmp(argv[1], "--dump") == 0) {
        if (argc != 3)
            return BadUsage("--dump takes one help file");
        return Dump(argv[2]);
    }
    if (argv[1][0] == '-' || argc > 3)
        return BadUsage(argv[1][0] == '-' ? "unknown option" : "too many arguments");
    pToolPath = GetToolPath(argv[0]);
    OpenMessages();
    TtyHtmlHelp(argv[1], nullptr, argc == 3 ? argv[2] : "Help");
    return FileIndex > 0 ? 0 : 1;
}
