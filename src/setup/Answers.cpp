// Answers.cpp - the run options --dry-run and --answers, and the answer file.
#include "Answers.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

#include "Errors.h"
#include "Installer.h"
#include "MemMgr.h"
#include "Plan.h"
#include "StrUtils.h"
#include "TextMenu.h"

namespace {

constexpr char kDryRun[] = "--dry-run";
constexpr char kAnswers[] = "--answers";

// A key, its allowed values and what each value types at the question; a row
// without values takes a directory, typed as it is.
struct AnswerRow {
    const char *key;
    const char *values[3];
    const char *typed[3];
};
constexpr AnswerRow kAnswerTable[ANS_KEYS] = {
    {"install_dir", {}, {}},
    {"use_earlier_dir", {"yes", "no"}, {"y", "n"}},
    {"keep_print_queues", {"yes", "no"}, {"y", "n"}},
    {"existing_daemon", {"continue", "remove_start_scripts", "quit"}, {"y", "n", "no"}},
    {"remove_packages", {"yes", "no"}, {"y", "n"}},
    {"running_programs", {"wait", "quit"}, {"1", "2"}},
    {"remove_installation", {"yes", "no"}, {"y", "n"}},
};

struct AnswerFile {
    char *path = nullptr;           // null: no answer file
    char *value[ANS_KEYS] = {};     // GetMem strings, for the run
    bool dirTyped = false;          // the directory was typed once already
};
AnswerFile Answers;

struct FileCloser {
    void operator()(FILE *f) const { fclose(f); }
};

[[noreturn]] void Unreadable(const char *path) {
    fprintf(stderr, "ERROR: can't read the answer file %s\n", path);
    exit_app(2);
}

[[noreturn]] void Refuse(const char *path, int line, const char *fmt, ...) PRINTF_LIKE(3, 4);
void Refuse(const char *path, int line, const char *fmt, ...) {
    fflush(stdout);
    fprintf(stderr, "ERROR: %s:%d: ", path, line);
    va_list ap;
    va_start(ap, fmt);
    vfprintf(stderr, fmt, ap);
    va_end(ap);
    fputc('\n', stderr);
    exit_app(2);
}

char *Trim(char *s) {
    s += strspn(s, " \t");
    size_t n = strlen(s);
    while (n > 0 && strchr(" \t\r\n", s[n - 1]))
        s[--n] = '\0';
    return s;
}

int KeyOf(const char *key) {
    for (int k = 0; k < ANS_KEYS; ++k)
        if (strcmp(kAnswerTable[k].key, key) == 0)
            return k;
    return -1;
}

// The place of value among the key's values, -1 when not allowed.
int ValueOf(int key, const char *value) {
    for (int v = 0; v < 3 && kAnswerTable[key].values[v]; ++v)
        if (strcmp(kAnswerTable[key].values[v], value) == 0)
            return v;
    return -1;
}

void CheckValue(const char *path, int number, int key, const char *value) {
    const AnswerRow &row = kAnswerTable[key];
    if (!row.values[0]) {
        if (value[0] != '/' || !ValidInstallRoot(value))
            Refuse(path, number, "%s is not a safe install directory", value);
        return;
    }
    if (ValueOf(key, value) >= 0)
        return;
    char allowed[128] = "";
    for (int v = 0; v < 3 && row.values[v]; ++v)
        snprintf(allowed + strlen(allowed), sizeof allowed - strlen(allowed), "%s%s", v ? ", " : "", row.values[v]);
    Refuse(path, number, "%s is not an allowed value of %s (allowed: %s)", value, row.key, allowed);
}

void LoadAnswerFile(const char *path) {
    std::unique_ptr<FILE, FileCloser> in(fopen(path, "r"));
    if (!in)
        Unreadable(path);
    Answers.path = SaveStr_(path);
    char text[LINEBUF_SIZE];
    for (int number = 1; fgets(text, sizeof text, in.get()); ++number) {
        if (!strchr(text, '\n') && !feof(in.get()))
            Refuse(path, number, "line too long");
        char *line = Trim(text);
        if (line[0] == '\0' || line[0] == '#')
            continue;
        char *equals = strchr(line, '=');
        if (!equals)
            Refuse(path, number, "not a key=value line: %s", line);
        *equals = '\0';
        char *key = Trim(line), *value = Trim(equals + 1);
        int k = KeyOf(key);
        if (k < 0)
            Refuse(path, number, "unknown key %s", key);
        if (Answers.value[k])
            Refuse(path, number, "%s is given twice", key);
        CheckValue(path, number, k, value);
        Answers.value[k] = SaveStr_(value);
    }
    if (ferror(in.get()))
        Unreadable(path);
}

// The key's value; stops the run when the file has none.
const char *NeedAnswer(int key) {
    const char *value = Answers.value[key];
    if (!value) {
        fflush(stdout);
        fprintf(stderr, "ERROR: no answer for %s in %s\n", kAnswerTable[key].key, Answers.path);
        exit_app(1);
    }
    return value;
}

// The text the loaded answer types at the key's question; stops when there is none.
const char *Typed(int key) {
    const char *value = NeedAnswer(key);
    if (!kAnswerTable[key].values[0]) {
        // The directory question repeats until an empty line accepts the directory.
        if (Answers.dirTyped)
            return "";
        Answers.dirTyped = true;
        return value;
    }
    return kAnswerTable[key].typed[ValueOf(key, value)];
}

}  // namespace

int IsRunOption(int argc, char **argv, int *i) {
    const char *arg = argv[*i] ? argv[*i] : "";
    if (strcmp(arg, kDryRun) == 0)
        return 1;
    if (strcmp(arg, kAnswers) != 0)
        return 0;
    if (*i + 1 < argc)
        ++*i;
    return 1;
}

void ScanRunOptions(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i] ? argv[i] : "";
        if (strcmp(arg, kDryRun) == 0) {
            flDryRun = 1;
        } else if (strcmp(arg, kAnswers) == 0) {
            if (i + 1 >= argc || !argv[i + 1]) {
                fprintf(stderr, "ERROR: %s needs a file\n", kAnswers);
                exit_app(2);
            }
            if (Answers.path) {
                fprintf(stderr, "ERROR: %s is given twice\n", kAnswers);
                exit_app(2);
            }
            LoadAnswerFile(argv[++i]);
        }
    }
}

const char *AnswerOf(int key) {
    return key >= 0 && key < ANS_KEYS ? Answers.value[key] : nullptr;
}

int AskYN(int key, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    MemStr question(SaveStrV(fmt, ap));
    va_end(ap);
    if (!Answers.path)
        return PromptYN("%s", question ? question.get() : "");
    // The directory question's confirmation: the file's directory is the one to use.
    const char *typed = kAnswerTable[key].values[0] ? Typed(key) : (NeedAnswer(key), "y");
    printf("%s? [y/n] %s\n", question ? question.get() : "", typed);
    return typed[0] == 'y';
}

char *AskLine(int key, char *buf, int size) {
    if (!Answers.path)
        return ReadAnswer(buf, size);
    const char *typed = Typed(key);
    printf("%s\n", typed);
    CopyStr(buf, static_cast<size_t>(size), typed);
    return buf;
}
