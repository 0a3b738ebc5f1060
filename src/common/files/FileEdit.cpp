// FileEdit.cpp - line editing through a work file that replaces the file in one rename.
#include "FileEdit.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>

#include "Errors.h"
#include "Files.h"
#include "MemMgr.h"
#include "StrUtils.h"

char Fn[FILEEDIT_NAME_SIZE];
char FnOut[FILEEDIT_NAME_SIZE];

namespace {

constexpr size_t STREAM_BUF = 1 << 16;

struct MemFree {
    void operator()(void *p) const { PutMem(p); }
};

// A whole line of the file, however long, newline included when there is one.
struct LineBuffer {
    char *pText = nullptr;
    size_t Len = 0;
    size_t Cap = 0;
    ~LineBuffer() { PutMem(pText); }
    void Put(char c) {
        if (Len + 1 >= Cap) {
            size_t want = Cap ? 2 * Cap : 1024;
            if (want > static_cast<size_t>(INT32_MAX - 64))
                SysError("%s", OutOfMem);
            auto *grown = static_cast<char *>(AdjustMem(pText, static_cast<int>(want)));
            if (!grown)
                SysError("%s", OutOfMem);
            pText = grown;
            Cap = want;
        }
        pText[Len++] = c;
    }
    bool Read(FILE *in) {
        Len = 0;
        int c;
        while ((c = getc_unlocked(in)) != EOF) {
            Put(static_cast<char>(c));
            if (c == '\n')
                break;
        }
        if (Cap)
            pText[Len] = '\0';
        return Len > 0;
    }
    // Position of the first occurrence of text, or -1.
    long Find(const char *text) const {
        size_t n = text ? std::strlen(text) : 0;
        if (n == 0 || !pText)
            return -1;
        const void *at = memmem(pText, Len, text, n);
        return at ? static_cast<const char *>(at) - pText : -1;
    }
    bool Holds(const char *text) const { return Find(text) >= 0; }
};

// The two files of one edit. Every write is checked; Finish replaces the file with the
// work file, and any failure stops the program with the file untouched.
class Edit {
public:
    Edit(const char *path, const char *ext) {
        name_.reset(*ext ? SaveStr("%s.%s", path, ext) : SaveStr("%s", path));
        work_.reset(SaveStr("%s.%sout", path, ext));
        in_ = OpenFile(nullptr, name_.get(), "rt", 2);
        out_ = OpenFile(nullptr, work_.get(), "wt", 2);
        setvbuf(out_, nullptr, _IOFBF, STREAM_BUF);
    }
    ~Edit() {
        if (in_)
            std::fclose(in_);
        if (out_)
            std::fclose(out_);
    }
    bool Next() { return line_.Read(in_); }
    LineBuffer &Line() { return line_; }
    void Write(const char *p, size_t n) {
        if (n && std::fwrite(p, 1, n, out_) != n)
            Fail();
    }
    void Write(const char *text) { Write(text, std::strlen(text)); }
    void WriteLine() { Write(line_.pText, line_.Len); }
    // Stops here, leaving the work file as it is (the unknown mode of FileDelFormat).
    void Abandon() {
        std::fclose(out_);
        out_ = nullptr;
    }
    void Finish() {
        if (std::ferror(in_))
            Fail();
        std::fclose(in_);
        in_ = nullptr;
        FILE *out = out_;
        out_ = nullptr;
        if (std::fflush(out) != 0 || std::ferror(out) || fsync(fileno(out)) != 0) {
            std::fclose(out);
            Stop();
        }
        if (std::fclose(out) != 0 || std::rename(work_.get(), name_.get()) != 0)
            Stop();
    }

private:
    [[noreturn]] void Fail() {
        int saved = errno;
        std::fclose(out_);
        out_ = nullptr;
        errno = saved;
        Stop();
    }
    [[noreturn]] void Stop() {
        int saved = errno;
        unlink(work_.get());
        errno = saved;
        SysError("ERROR: couldn't write %s", name_.get());
    }
    std::unique_ptr<char, MemFree> name_, work_;
    FILE *in_ = nullptr;
    FILE *out_ = nullptr;
    LineBuffer line_;
};

// Writes the line without the n bytes at pos, then with insert in their place.
void WriteReplaced(Edit &e, long pos, size_t n, const char *insert) {
    LineBuffer &l = e.Line();
    e.Write(l.pText, static_cast<size_t>(pos));
    e.Write(insert);
    e.Write(l.pText + pos + n, l.Len - static_cast<size_t>(pos) - n);
}

int Code(const char *text) {
    return static_cast<int>(std::strtol(text, nullptr, 0)) & 0xFF;
}

// Writes the line with every byte c replaced by the bytes of with (n of them).
void WriteCharReplaced(Edit &e, char c, const char *with, size_t n) {
    LineBuffer &l = e.Line();
    size_t from = 0;
    for (size_t i = 0; i < l.Len; ++i) {
        if (l.pText[i] != c)
            continue;
        e.Write(l.pText + from, i - from);
        e.Write(with, n);
        from = i + 1;
    }
    e.Write(l.pText + from, l.Len - from);
}

struct Template {
    std::unique_ptr<char, MemFree> Text;
    long Counter = 0;
    long Threshold = -1;  // -1: no "%#"
    char *pMark = nullptr;
    size_t MarkLen = 0;
};

// "%s" and digits give the first number (and go); "%#" and digits the threshold.
void ReadTemplate(Template &t, const char *templ) {
    size_t n = std::strlen(templ);
    t.Text.reset(static_cast<char *>(GetMem(static_cast<int>(n + 1))));
    if (!t.Text)
        SysError("%s", OutOfMem);
    char *s = t.Text.get();
    std::memcpy(s, templ, n + 1);
    for (char *p = std::strstr(s, "%s"); p; p = std::strstr(p + 1, "%s")) {
        char *end;
        if (p[2] < '0' || p[2] > '9')
            continue;
        t.Counter = std::strtol(p + 2, &end, 10);
        std::memmove(p, end, std::strlen(end) + 1);
        break;
    }
    for (char *p = std::strstr(s, "%#"); p; p = std::strstr(p + 1, "%#")) {
        char *end;
        if (p[2] < '0' || p[2] > '9')
            continue;
        t.Threshold = std::strtol(p + 2, &end, 10);
        t.pMark = p;
        t.MarkLen = static_cast<size_t>(end - p);
        break;
    }
}

void WriteTemplate(Edit &e, Template &t) {
    if (t.Threshold < 0) {
        e.Write(t.Text.get());
    } else if (t.Counter >= t.Threshold) {
        char number[32];
        int n = std::snprintf(number, sizeof number, "%05li", t.Counter - t.Threshold);
        char *s = t.Text.get();
        e.Write(s, static_cast<size_t>(t.pMark - s));
        e.Write(number, static_cast<size_t>(n));
        e.Write(t.pMark + t.MarkLen);
    }
    ++t.Counter;
}

int Insert(const char *path, const char *ext, const char *templ, const char *search) {
    Template t;
    ReadTemplate(t, templ ? templ : "");
    Edit e(path, ext);
    while (e.Next()) {
        if (!search || e.Line().Holds(search))
            WriteTemplate(e, t);
        e.WriteLine();
    }
    e.Finish();
    return 0;
}

// The line as mode edits it (the modes other than "c").
void DelFormatLine(Edit &e, char mode, const char *text) {
    long pos = e.Line().Find(text);
    if (pos < 0) {
        e.WriteLine();
        return;
    }
    LineBuffer &l = e.Line();
    size_t n = std::strlen(text);
    switch (mode) {
    case '\0':
        WriteReplaced(e, pos, n, "");
        break;
    case 'a':
        e.Write(l.pText, static_cast<size_t>(pos) + n);
        e.Write("\n");
        break;
    case 'b':
        e.Write(l.pText + pos, l.Len - static_cast<size_t>(pos));
        break;
    default:  // 'l'
        break;
    }
}

}  // namespace

int FileChange(const char *path, const char *ext, const char *text, const char *replacement) {
    Edit e(path, ext);
    while (e.Next()) {
        long pos = e.Line().Find(text);
        if (pos < 0)
            e.WriteLine();
        else
            WriteReplaced(e, pos, std::strlen(text), replacement ? replacement : "");
    }
    e.Finish();
    return 0;
}

int FileChangeChar(const char *path, const char *ext, const char *code, const char *list) {
    char with[256];
    size_t n = 0;
    for (const char *p = list; p && *p && n < sizeof with;) {
        with[n++] = static_cast<char>(Code(p));
        const char *comma = std::strchr(p, ',');
        p = comma ? comma + 1 : nullptr;
    }
    char c = static_cast<char>(Code(code));
    Edit e(path, ext);
    while (e.Next())
        WriteCharReplaced(e, c, with, n);
    e.Finish();
    return 0;
}

int FileDel(const char *path, const char *ext, int n, const char *text) {
    Edit e(path, ext);
    int seen = 0;
    while (e.Next()) {
        long pos = e.Line().Find(text);
        if (pos >= 0 && ++seen > n)
            WriteReplaced(e, pos, std::strlen(text), "");
        else
            e.WriteLine();
    }
    e.Finish();
    return 0;
}

int FileDelLine(const char *path, const char *ext, int n, const char *text) {
    Edit e(path, ext);
    int seen = 0;
    while (e.Next())
        if (!e.Line().Holds(text) || ++seen <= n)
            e.WriteLine();
    e.Finish();
    return 0;
}

int FileDelLinePair(const char *path, const char *ext, int n, const char *start, const char *end) {
    Edit e(path, ext);
    int seen = 0, waiting = 0;
    while (e.Next()) {
        if (e.Line().Holds(start)) {
            if (++seen > n)
                ++waiting;
            else
                e.WriteLine();
        } else if (waiting > 0 && e.Line().Holds(end)) {
            --waiting;
        } else {
            e.WriteLine();
        }
    }
    e.Finish();
    return 0;
}

int FileDelFormat(const char *path, const char *ext, const char *mode, const char *text) {
    char m = mode ? mode[0] : '\0';
    Edit e(path, ext);
    if (!std::strchr("abcl", m)) {
        e.Abandon();
        return 1;
    }
    if (!text)
        text = "";
    if (m == 'c') {
        char c = static_cast<char>(Code(text));
        while (e.Next())
            WriteCharReplaced(e, c, "", 0);
    } else {
        while (e.Next())
            DelFormatLine(e, m, text);
    }
    e.Finish();
    return 0;
}

int FileInsert(const char *path, const char *ext, const char *templ) {
    return Insert(path, ext, templ, nullptr);
}

int FileSearchInsert(const char *path, const char *ext, const char *templ, const char *search) {
    return Insert(path, ext, templ, search ? search : "");
}

void OpenIOFiles(const char *path, const char *ext) {
    int n = *ext ? std::snprintf(Fn, sizeof Fn, "%s.%s", path, ext) : std::snprintf(Fn, sizeof Fn, "%s", path);
    int m = std::snprintf(FnOut, sizeof FnOut, "%sout", Fn);
    if (n < 0 || n >= static_cast<int>(sizeof Fn) || m < 0 || m >= static_cast<int>(sizeof FnOut)) {
        errno = ENAMETOOLONG;
        SysError("can't open file, %s", path);
    }
    pIn = OpenFile(pIn, Fn, "rt", 2);
    pOut = OpenFile(pOut, FnOut, "wt", 2);
}

void ReplaceInputFile() {
    if (pIn)
        std::fclose(pIn);
    pIn = nullptr;
    FILE *out = pOut;
    pOut = nullptr;
    bool ok = out && std::fflush(out) == 0 && !std::ferror(out) && fsync(fileno(out)) == 0;
    if (out && std::fclose(out) != 0)
        ok = false;
    if (ok && std::rename(FnOut, Fn) == 0)
        return;
    int saved = errno;
    unlink(FnOut);
    errno = saved;
    SysError("ERROR: couldn't write %s", Fn);
}
