// fuzz_pkglist.cpp - libFuzzer target over the package-list language: the shared
// line parser, and the installer's executor on a list of that one line, with every
// table row and every read of a program's output answered here, so no command runs.
// The input up to its first line end (or NUL) is the line. What must hold:
//   - every word the parser gives lies in the line's word store, counts stay in
//     their arrays, a complete command has its operand (and "dirto" its
//     destination), an incomplete line names a missing word;
//   - the installer acts on the line (starts a program or reads the process table)
//     if and only if the parser read a complete command whose version tests hold
//     against the release the fake "uname -r" gives;
//   - the executor never stops the run.
// Lines that would write outside the scratch folder (a "bat" launcher goes to
// /usr/bin, ".." leaves the application directory) are parsed but not run.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Errors.h"
#include "Files.h"
#include "FuzzSupport.h"
#include "Installer.h"
#include "Log.h"
#include "PkgListParse.h"
#include "Sleep.h"
#include "SysCmd.h"
#include "SysQuery.h"

namespace {

constexpr char kRelease[] = "5.8";
int Acts = 0;

using fuzz::Check;

int AnswerRow(int, int, const char *) {
    ++Acts;
    return 0;
}

FILE *AnswerRead(int row, const char *) {
    FILE *f = tmpfile();
    if (!f)
        __builtin_trap();
    if (row == CMD_UNAME)
        fprintf(f, "%s\n", kRelease);
    else
        ++Acts;  // the process table: nothing runs
    rewind(f);
    return f;
}

int NoShell(const char *) {
    __builtin_trap();  // every run is answered by AnswerRow
}

void NoSleep(unsigned) {}
void NoExit(int) { __builtin_trap(); }

bool InWords(const PkgLine &l, const char *p) {
    return p >= l.words && p < l.words + sizeof l.words && std::memchr(p, '\0', l.words + sizeof l.words - p);
}

void CheckShape(const PkgLine &l, int missing) {
    Check(missing == l.missing && missing >= PKMISS_NONE && missing <= PKMISS_RELEASE);
    Check(l.tests >= 0 && l.tests <= PKGLINE_MAX_TESTS && l.modifiers >= 0 && l.modifiers <= PKGLINE_MAX_MODIFIERS);
    Check(l.command >= PK_NONE && l.command <= PK_CHECKPS);
    for (int i = 0; i < l.tests; ++i)
        Check(l.test[i].op >= 0 && l.test[i].op <= OP_GE && InWords(l, l.test[i].release));
    for (int i = 0; i < l.modifiers; ++i)
        Check(l.modifier[i].modifier >= 0 && l.modifier[i].modifier <= MOD_SED && InWords(l, l.modifier[i].value));
    if (l.operand)
        Check(InWords(l, l.operand));
    if (l.destination)
        Check(InWords(l, l.destination));
    if (!missing && l.command != PK_NONE && l.command != PK_COMMENT)
        Check(l.operand && (l.command != PK_DIRTO || l.destination));
    if (missing)
        Check(l.modifiers == 0 && std::strcmp(PkgLineMissing(missing), "a word") != 0);
}

// Whether the system release stands to the wanted one as the operator says.
bool Holds(int op, const char *wanted) {
    int c = CompareRelease(kRelease, wanted);
    const bool byOperator[] = {false, c < 0, c <= 0, c == 0, c > 0, c >= 0};
    return op >= 0 && op <= OP_GE && byOperator[op];
}

bool HasModifierThatActs(const PkgLine &l) {
    for (int i = 0; i < l.modifiers; ++i)
        if (l.modifier[i].modifier != 0)
            return true;
    return false;
}

// Whether the installer is to act on the line, by the parser's reading of it.
bool ShouldAct(const PkgLine &l) {
    for (int i = 0; i < l.tests; ++i)
        if (!Holds(l.test[i].op, l.test[i].release))
            return false;
    if (l.missing)
        return false;
    switch (l.command) {
    case PK_DIR:
    case PK_DIRTO:
    case PK_TOUCH:
    case PK_COPY:
        return true;
    case PK_IFEXISTS:
    case PK_IFEXISTS2:
        return FindFile(AppDir, l.operand) && HasModifierThatActs(l);
    case PK_NEWDIR:
        return !FindFile(nullptr, (std::string(AppDir) + "/" + l.operand).c_str());
    case PK_CHECKPS:
        return std::strspn(l.operand, ",") < std::strlen(l.operand) || HasModifierThatActs(l);
    default:
        return false;
    }
}

bool SafeToRun(const PkgLine &l) {
    if (std::strstr(l.text, ".."))
        return false;
    for (int i = 0; i < l.modifiers; ++i)
        if (l.modifier[i].modifier == MOD_BAT)
            return false;
    return true;
}

std::string Scratch;
char WorkArea[512];
char ProgramName[] = "fuzzpkglist";

void Setup() {
    Scratch = fuzz::Scratch("fuzzpkg");
    const char *made = Scratch.c_str();
    mkdir((Scratch + "/work").c_str(), 0700);
    mkdir((Scratch + "/app").c_str(), 0700);
    snprintf(WorkArea, sizeof WorkArea, "%s/work", made);
    snprintf(AppDir, APPDIR_SIZE, "%s/app", made);
    pTalvoInstallDir = WorkArea;
    pSedTempDir = Scratch.c_str();
    my_name = ProgramName;
    flUseLog = 0;
    for (int i = 0; i < CMD_ROWS; ++i)
        ComList[i].pPath = nullptr;
    pSysCmdHook = AnswerRow;
    pResponseHook = AnswerRead;
    pSystemHook = NoShell;
    pSleepHook = NoSleep;
    pExitHook = NoExit;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool ready = (Setup(), true);
    (void)ready;
    std::string text(reinterpret_cast<const char *>(data), size);
    text = text.substr(0, text.find_first_of(std::string("\n\0", 2)));
    if (text.size() > LINEBUF_SIZE - 2)
        return 0;
    text += '\n';  // as the installer reads it
    static PkgLine line;
    int missing = ParsePkgLine(text.c_str(), &line);
    CheckShape(line, missing);
    // the same text read again gives the same reading
    static PkgLine again;
    Check(ParsePkgLine(text.c_str(), &again) == missing && again.command == line.command &&
          again.tests == line.tests && again.modifiers == line.modifiers);
    if (!SafeToRun(line))
        return 0;
    bool expected = ShouldAct(line);

    fuzz::WriteBytes(Scratch + "/work/pkg.list", text.data(), text.size());
    Acts = 0;
    Check(ProcessPkgList(".") == 0);
    Check((Acts > 0) == expected);
    return 0;
}
