// Files.cpp - existence by directory listing, attributes, whole-file reads, the
// current input file and its readers, and opening and writing files.
#include "Files.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "Errors.h"
#include "MemMgr.h"
#include "StrUtils.h"
#include "Tokens.h"

int32_t LineLen;
FILE *pIn;
FILE *pOut;
char InputFileName[INPUT_FILE_NAME_SIZE];
int32_t FileStatus = 1;
char *pLine = Line;
int32_t LineCnt;
int32_t InPos;
char flInputFilterState = 1;
int32_t SavedFileSize;

namespace {

struct DirCloser {
    void operator()(DIR *d) const { closedir(d); }
};
struct FileCloser {
    void operator()(FILE *f) const { fclose(f); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;
using FilePtr = std::unique_ptr<FILE, FileCloser>;

constexpr size_t MAX_ALLOC = INT32_MAX - 2 * MEM_NODE_SIZE;  // GetMem's int size, with room to round
constexpr size_t FORMATTED_PATH_MAX = 511;                     // paths of OpenFileF / OpenInputFileF
constexpr int FILTER_LINE_SIZE = 512;                          // the part of Line GetLine fills
constexpr size_t FILTER_READ_MAX = 510;                        // characters kept of one physical line

char SearchBuf[512];  // FileSearch's result

const char *Shown(const char *text) { return text ? text : ""; }

// A new GetMem string made of the pieces; null when memory is exhausted.
MemStr Concat(std::initializer_list<std::string_view> parts) {
    size_t total = 0;
    for (std::string_view p : parts)
        total += p.size();
    if (total >= MAX_ALLOC)
        return nullptr;
    auto *text = static_cast<char *>(GetMem(static_cast<int>(total) + 1));
    if (!text)
        return nullptr;
    size_t at = 0;
    for (std::string_view p : parts) {
        std::memcpy(text + at, p.data(), p.size());
        at += p.size();
    }
    text[at] = '\0';
    return MemStr(text);
}

// "dir/name", or dir alone without a name; null without a directory.
MemStr JoinPath(const char *dir, const char *name) {
    if (!dir)
        return nullptr;
    return name ? Concat({dir, "/", name}) : Concat({dir});
}

// Growable text in GetMem storage, for reading a directory in one pass.
class TextBuf {
public:
    TextBuf() = default;
    TextBuf(const TextBuf &) = delete;
    TextBuf &operator=(const TextBuf &) = delete;
    ~TextBuf() { PutMem(text_); }

    bool Append(std::string_view s) {
        if (!ok_)
            return false;
        if (len_ + s.size() > cap_ && !Grow(len_ + s.size()))
            return ok_ = false;
        std::memcpy(text_ + len_, s.data(), s.size());
        len_ += s.size();
        return true;
    }
    // A GetMem copy of exactly the text's size; null after a failed Append.
    char *Exact() const {
        if (!ok_ || len_ >= MAX_ALLOC)
            return nullptr;
        auto *copy = static_cast<char *>(GetMem(static_cast<int>(len_) + 1));
        if (copy) {
            std::memcpy(copy, text_, len_);
            copy[len_] = '\0';
        }
        return copy;
    }

private:
    bool Grow(size_t need) {
        size_t cap = cap_ ? cap_ * 2 : 1024;
        if (cap < need)
            cap = need;
        if (cap >= MAX_ALLOC)
            return false;
        auto *bigger = static_cast<char *>(GetMem(static_cast<int>(cap)));
        if (!bigger)
            return false;
        if (len_)
            std::memcpy(bigger, text_, len_);
        PutMem(text_);
        text_ = bigger;
        cap_ = cap;
        return true;
    }

    char *text_ = nullptr;
    size_t len_ = 0;
    size_t cap_ = 0;
    bool ok_ = true;
};

bool Qualifies(const char *entry, const char *ext) {
    if (!ext)
        return std::strcmp(entry, ".") != 0 && std::strcmp(entry, "..") != 0;
    const char *dot = std::strrchr(entry, '.');
    return dot && std::strcmp(dot + 1, ext) == 0;
}

// " a b c " of the entries of dir (only those that qualify when filtering).
// The directory is read once, so a directory that changes meanwhile cannot make
// the result overrun its allocation.
char *ListDirectory(const char *dir, bool filter, const char *ext) {
    if (!dir)
        return nullptr;
    DirPtr d(opendir(dir));
    if (!d)
        return nullptr;
    TextBuf text;
    text.Append(" ");
    bool any = false;
    while (const char *entry = ReadDir(d.get())) {
        if (filter && !Qualifies(entry, ext))
            continue;
        text.Append(entry);
        text.Append(" ");
        any = true;
    }
    if (filter && !any)
        return nullptr;
    return text.Exact();
}

// The split of FindFile: directory and name of the entry to look up.
struct Split {
    MemStr dir;
    MemStr name;
};

Split SplitAtLastSlash(const char *path) {
    const char *slash = std::strrchr(path, '/');
    std::string_view head(path, static_cast<size_t>(slash - path));
    // a path "/x" has "/" as its directory
    return {Concat({head.empty() ? std::string_view("/") : head}), Concat({slash + 1})};
}

Split SplitForFindFile(const char *dir, const char *name) {
    const char *path = dir ? dir : name;
    if (!dir)
        name = nullptr;
    Split s;
    if (!name || !*name) {
        s.name = Concat({Shown(StripPath(path))});
        s.dir = Concat({Shown(StripFn(path))});
    } else {
        s.name = Concat({name});
        s.dir = Concat({dir});
    }
    if (s.dir && s.name && std::strchr(s.name.get(), '/')) {
        MemStr joined = Concat({s.dir.get(), "/", s.name.get()});
        if (!joined)
            return {};
        s = SplitAtLastSlash(joined.get());
    }
    return s;
}

// One physical line of a stream read through its newline.
struct PhysicalLine {
    size_t stored = 0;      // characters stored
    size_t dropped = 0;     // characters that did not fit
    bool any = false;       // false: end of file before any character
    bool continued = false; // the line ends with a backslash and a newline
};

// Reads one physical line to its newline, storing what fits in dst (room bytes,
// at least 1, always NUL-terminated) and dropping the rest, so that the rest of
// a long line is never taken for a line of its own.
PhysicalLine ReadPhysicalLine(FILE *f, char *dst, size_t room) {
    PhysicalLine r;
    int prev = 0;
    int c;
    while ((c = getc(f)) != EOF) {
        r.any = true;
        if (r.stored + 1 < room)
            dst[r.stored++] = static_cast<char>(c);
        else
            ++r.dropped;
        if (c == '\n') {
            r.continued = prev == '\\';
            break;
        }
        prev = c;
    }
    dst[r.stored] = '\0';
    return r;
}

void WarnDropped(size_t kept) {
    ErrorMsg(1, 0, "line too long in %s, the text after %zu characters is dropped", InputFileName, kept);
}

// A physical line of the current input file for GetLine (at most 510 characters).
PhysicalLine ReadFilterLine(char (&buf)[FILTER_LINE_SIZE]) {
    PhysicalLine r = ReadPhysicalLine(pIn, buf, FILTER_READ_MAX + 1);
    if (r.dropped)
        WarnDropped(FILTER_READ_MAX);
    return r;
}

void CutAt(char *text, const char *marker) {
    if (char *at = std::strstr(text, marker))
        *at = '\0';
}

void TrimLeading(char *text) {
    size_t skip = 0;
    while (text[skip] && std::isspace(static_cast<unsigned char>(text[skip])))
        ++skip;
    if (skip)
        std::memmove(text, text + skip, std::strlen(text + skip) + 1);
}

// Appends the text after "*/" of a later physical line, bounded by the buffer.
void AppendAfterComment(char (&buf)[FILTER_LINE_SIZE], const char *rest) {
    size_t len = std::strlen(buf);
    size_t n = std::min(std::strlen(rest), sizeof buf - 1 - len);
    std::memcpy(buf + len, rest, n);
    buf[len + n] = '\0';
    CutAt(buf + len, "//");
}

// The block comment that opens at 'open' in buf: removed on this line when it
// closes here, else the following physical lines are consumed (and counted)
// through the one that closes it, whose text after "*/" is appended.
void RemoveBlockComment(char (&buf)[FILTER_LINE_SIZE], char *open) {
    if (char *close = std::strstr(open + 2, "*/")) {
        std::memmove(open, close + 2, std::strlen(close + 2) + 1);
        CutAt(open, "//");
        return;
    }
    *open = '\0';
    char next[FILTER_LINE_SIZE];
    while (ReadFilterLine(next).any) {
        ++LineCnt;
        if (char *close = std::strstr(next, "*/")) {
            AppendAfterComment(buf, close + 2);
            return;
        }
    }
}

// Comment filtering of one logical line: the earlier of "//" and "/*" opens a
// comment (a "//" inside a block comment does not cut it); leading white space
// goes; only the first block comment of a line is removed.
void FilterLine(char (&buf)[FILTER_LINE_SIZE]) {
    char *line = std::strstr(buf, "//");
    char *block = std::strstr(buf, "/*");
    if (line && (!block || line < block))
        *line = '\0';
    TrimLeading(buf);
    if (!*buf)
        return;
    if (char *open = std::strstr(buf, "/*"))
        RemoveBlockComment(buf, open);
    buf[std::strcspn(buf, "\r\n")] = '\0';
}

// The failure report of OpenFile for its error level.
void ReportOpenFailure(const char *path, int level) {
    if (level == 2)
        SysError("can't open file, %s", Shown(path));
    if (level == 1)
        fprintf(stderr, "ERROR: can't open file, %s\n", Shown(path));
}

// Reads at most max bytes of dir/name (or dir) into buf and terminates it.
int ReadFileInto(const char *dir, const char *name, char *buf, size_t max) {
    MemStr path = JoinPath(dir, name);
    if (!path)
        return 0;
    FilePtr f(fopen(path.get(), "r"));
    if (!f)
        return 0;
    size_t n = fread(buf, 1, max, f.get());
    buf[n] = '\0';
    return ferror(f.get()) ? 0 : 1;
}

}  // namespace

int FindFile(const char *dir, const char *name) {
    if (!dir && (!name || !*name))
        return 0;
    Split s = SplitForFindFile(dir, name);
    if (!s.dir || !s.name)
        return 0;
    // the listing is blank-delimited, so a name with a blank is never an entry
    if (std::strchr(s.name.get(), ' '))
        return 0;
    MemStr list(GetDirFileList(s.dir.get()));
    if (!list)
        return 0;
    // an empty name (a path that ends in a slash) names the directory itself
    if (!*s.name)
        return 1;
    return FindToken(s.name.get(), list.get()) > 0 ? 1 : 0;
}

int FindFile_(const char *dir, const char *name) {
    if (!dir && !name)
        return 0;
    MemStr path = dir && name ? Concat({dir, "/", name}) : Concat({dir ? dir : name});
    struct stat st;
    return path && stat(path.get(), &st) == 0 ? 1 : 0;
}

int GetFileType(const char *path) {
    struct stat st;
    if (!path || lstat(path, &st) != 0)
        return FILETYPE_NONE;
    if (S_ISDIR(st.st_mode))
        return FILETYPE_DIR;
    if (S_ISLNK(st.st_mode))
        return FILETYPE_LINK;
    return FILETYPE_OTHER;
}

int64_t GetFileSize(const char *path) {
    struct stat st;
    if (!path || stat(path, &st) != 0)
        return 0;
    return static_cast<int64_t>(st.st_size);
}

long GetFileTime(const char *path) {
    struct stat st;
    if (!path || stat(path, &st) != 0)
        return 0;
    return static_cast<long>(st.st_mtime);
}

char *ReadDir(DIR *d) {
    if (!d)
        return nullptr;
    struct dirent *e = readdir(d);
    return e ? e->d_name : nullptr;
}

char *GetDirFileList(const char *dir) { return ListDirectory(dir, false, nullptr); }

char *SearchDirFileList(const char *dir, const char *ext) { return ListDirectory(dir, true, ext); }

int GetFileContent(const char *dir, const char *name) {
    return ReadFileInto(dir, name, LineBuf, LINEBUF_SIZE - 1);
}

int GetFileContentR(const char *dir, const char *name, char *buf, int size) {
    if (!buf || size < 0)
        return 0;
    return ReadFileInto(dir, name, buf, static_cast<size_t>(size));
}

char *GetSavedFileContent(const char *dir, const char *name) {
    SavedFileSize = 0;
    MemStr path = JoinPath(dir, name);
    if (!path)
        return nullptr;
    int64_t size = GetFileSize(path.get());
    SavedFileSize = size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(size);
    if (size <= 0)
        return nullptr;
    // GetMem gives one byte more than asked: room for the terminator
    char *raw = static_cast<uint64_t>(size) < MAX_ALLOC ? static_cast<char *>(GetMem(static_cast<int>(size))) : nullptr;
    if (!raw) {
        ErrorMsg(1, 0, "Unable to allocate memory");
        return nullptr;
    }
    MemStr text(raw);
    FilePtr f(fopen(path.get(), "r"));
    if (!f)
        return nullptr;
    size_t n = fread(raw, 1, static_cast<size_t>(size), f.get());
    if (ferror(f.get()) || n == 0)
        return nullptr;
    raw[n] = '\0';
    SavedFileSize = static_cast<int32_t>(n);
    return text.release();
}

char *FileSearch(const char *path, const char *text, int level) {
    SearchBuf[0] = '\0';
    FILE *raw = OpenFile(nullptr, path, "rt", level);
    if (!raw)
        return nullptr;
    FilePtr f(raw);
    while (ReadPhysicalLine(raw, SearchBuf, sizeof SearchBuf).any) {
        if (!text || std::strstr(SearchBuf, text))
            return SearchBuf;
    }
    SearchBuf[0] = '\0';
    return nullptr;
}

int OpenInputFile(const char *path, int level) {
    CloseInputFile();
    size_t len = path ? std::strlen(path) : 0;
    if (path && len < sizeof InputFileName) {
        std::memcpy(InputFileName, path, len + 1);
        pIn = fopen(path, "rt");
        if (pIn) {
            FileStatus = 0;
            return 1;
        }
    } else {
        // a cut name would name another file: refuse it whole
        InputFileName[0] = '\0';
        errno = path ? ENAMETOOLONG : EINVAL;
    }
    FileStatus = 2;
    LineBuf[0] = '\0';
    LineLen = 0;
    // the files read this way are ones the program cannot do without
    ErrorMsg(level, 1, "can't open file, %s", Shown(path));
    return 0;
}

int OpenInputFileF(int level, const char *fmt, ...) {
    if (!fmt)
        return OpenInputFile(nullptr, level);
    va_list ap;
    va_start(ap, fmt);
    MemStr path(SaveStrV(fmt, ap));
    va_end(ap);
    // OpenInputFile refuses what does not fit InputFileName, well under 511
    return OpenInputFile(path.get(), level);
}

void CloseInputFile() {
    if (pIn) {
        fclose(pIn);
        pIn = nullptr;
    }
    FileStatus = 1;
}

int GetFileLine() {
    if (!pIn)
        return 0;
    LineLen = 0;
    PhysicalLine r = ReadPhysicalLine(pIn, LineBuf, sizeof LineBuf);
    if (!r.any) {
        CloseInputFile();
        LineBuf[0] = '\0';
        return 0;
    }
    size_t len = r.stored;
    size_t dropped = r.dropped;
    while (r.continued) {
        LineLen = static_cast<int32_t>(len);
        r = ReadPhysicalLine(pIn, LineBuf + len, sizeof LineBuf - len);
        len += r.stored;
        dropped += r.dropped;
    }
    if (dropped)
        WarnDropped(LINEBUF_SIZE - 1);
    return 1;
}

int GetFileTextLine(const char *delims) {
    const char *d = Shown(delims);
    while (GetFileLine()) {
        if (LineBuf[0] == '#')
            continue;
        size_t start = std::strspn(LineBuf, d);
        if (!LineBuf[start])
            continue;
        size_t n = std::strcspn(LineBuf + start, d);
        std::memmove(LineBuf, LineBuf + start, n);
        LineBuf[n] = '\0';
        return 1;
    }
    return 0;
}

int GetLine() {
    LineCnt = 0;
    pLine = Line;
    if (!pIn)
        return 0;
    long pos = ftell(pIn);
    InPos = pos < 0 ? 0 : pos > INT32_MAX ? INT32_MAX : static_cast<int32_t>(pos);
    // built apart from Line, which the warnings of ErrorMsg overwrite
    char buf[FILTER_LINE_SIZE];
    if (!ReadFilterLine(buf).any) {
        Line[0] = '\0';
        return 0;
    }
    LineCnt = 1;
    if (flInputFilterState)
        FilterLine(buf);
    size_t len = std::strlen(buf);
    std::memcpy(Line, buf, len);
    std::memset(Line + len, 0, FILTER_LINE_SIZE - len);
    return LineCnt;
}

int GetLineN(int n) {
    int result = 0;
    for (int i = 0; i < n; ++i)
        result = GetLine();
    return result;
}

int GetLinePos(long offset) {
    if (!pIn || fseek(pIn, offset, SEEK_SET) != 0) {
        LineCnt = 0;
        pLine = Line;
        return 0;
    }
    return GetLine();
}

char *fgetsp(char *buf, int size, FILE *stream, long offset) {
    if (!buf || size <= 0 || !stream || fseek(stream, offset, SEEK_SET) != 0)
        return nullptr;
    return fgets(buf, size, stream);
}

FILE *OpenFile(FILE *stream, const char *path, const char *mode, int level) {
    if (stream)
        fclose(stream);
    FILE *f = nullptr;
    if (path && mode)
        f = fopen(path, mode);
    else
        errno = EINVAL;
    if (!f)
        ReportOpenFailure(path, level);
    return f;
}

FILE *OpenFileF(FILE *stream, const char *mode, int level, const char *fmt, ...) {
    if (!fmt)
        return OpenFile(stream, nullptr, mode, level);
    va_list ap;
    va_start(ap, fmt);
    MemStr path(SaveStrV(fmt, ap));
    va_end(ap);
    if (path && std::strlen(path.get()) > FORMATTED_PATH_MAX) {
        // refused whole rather than cut to another file's name
        if (stream)
            fclose(stream);
        errno = ENAMETOOLONG;
        ReportOpenFailure(path.get(), level);
        return nullptr;
    }
    return OpenFile(stream, path.get(), mode, level);
}

int OpenRawFile(const char *path, int flags) {
    int fd = path ? open(path, flags, 0666) : -1;
    if (fd < 0)
        printf("ERROR: can't open file, %s", Shown(path));
    return fd;
}

int CreateTextFile(const char *path, const char *mode, int perms, const char *fmt, ...) {
    if (!path || !mode || !fmt)
        return 0;
    FilePtr f(fopen(path, mode));
    if (!f) {
        fprintf(stderr, "ERROR: couldn't open %s\n", path);
        return 0;
    }
    va_list ap;
    va_start(ap, fmt);
    bool written = vfprintf(f.get(), fmt, ap) >= 0;
    va_end(ap);
    if (perms)
        (void)fchmod(fileno(f.get()), static_cast<mode_t>(perms));
    // a full disk shows up at the flush: report it rather than claim success
    written = fclose(f.release()) == 0 && written;
    if (!written)
        fprintf(stderr, "ERROR: couldn't write %s\n", path);
    return written ? 1 : 0;
}

void ChangeDir(const char *dir) {
    if (!dir || chdir(dir) != 0)
        SysError("can't change directory to %s", dir ? dir : "(null)");
}

bool SameFile(const char *a, const char *b) {
    struct stat sa {}, sb {};
    if (!a || !b || stat(a, &sa) != 0 || stat(b, &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

namespace {

bool RemovableAtName(const struct stat &st) {
    if (S_ISLNK(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || S_ISCHR(st.st_mode) ||
        S_ISBLK(st.st_mode))
        return true;
    return S_ISREG(st.st_mode) && st.st_uid == geteuid() && st.st_nlink > 1;
}

struct FdCloser {
    int fd = -1;
    ~FdCloser() {
        if (fd >= 0)
            close(fd);
    }
};

}  // namespace

int ExamineSharedName(const char *path) {
    struct stat st {};
    if (!path || lstat(path, &st) != 0)
        return SHARED_NONE;
    if (RemovableAtName(st))
        return unlink(path) == 0 || errno == ENOENT ? SHARED_NONE : SHARED_FOREIGN;
    bool own = st.st_uid == geteuid() && (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && st.st_nlink == 1));
    return own ? SHARED_OWN : SHARED_FOREIGN;
}

int ClaimSharedName(const char *path) {
    int state = ExamineSharedName(path);
    if (state == SHARED_FOREIGN) {
        fflush(stdout);
        fprintf(stderr, "ERROR: %s belongs to another user\n", path);
        exit_app(1);
    }
    return state;
}

int CreateSharedFile(const char *path, int perms) {
    if (!path) {
        errno = EINVAL;
        return -1;
    }
    FdCloser f;
    f.fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (f.fd < 0 || fchmod(f.fd, static_cast<mode_t>(perms)) != 0)
        return -1;
    int fd = f.fd;
    f.fd = -1;
    return fd;
}

int MakeSharedDir(const char *path, int perms) {
    if (!path || mkdir(path, 0700) != 0)
        return 0;
    FdCloser d;
    d.fd = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (d.fd < 0 || fstat(d.fd, &st) != 0)
        return 0;
    if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid()) {
        errno = EEXIST;
        return 0;
    }
    return fchmod(d.fd, static_cast<mode_t>(perms)) == 0 ? 1 : 0;
}

int IsSafeDir(const char *path) {
    struct stat st {};
    if (!path || lstat(path, &st) != 0)
        return 0;
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0 ? 1 : 0;
}

void OpenStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // the lowest free descriptor is this one: the ones below it are open
        int opened = open("/dev/null", O_RDWR);
        if (opened >= 0 && opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
}

int ReplaceSharedFile(const char *path, int perms) {
    if (ClaimSharedName(path) == SHARED_OWN)
        unlink(path);
    int fd = CreateSharedFile(path, perms);
    if (fd < 0)
        SysError("can't create %s", path);
    return fd;
}
