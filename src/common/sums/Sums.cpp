// Sums.cpp - SHA-256 through libcrypto's EVP interface, and the checksum list.
#include "Sums.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <strings.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/evp.h>

#include "MemMgr.h"
#include "StrUtils.h"

namespace {

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0)
            close(fd);
    }
};

struct DigestFree {
    void operator()(EVP_MD_CTX *ctx) const { EVP_MD_CTX_free(ctx); }
};

// Reads what is left of fd into fn's chunks; false on a read error.
template <class Fn> bool ReadAll(int fd, Fn fn) {
    static unsigned char buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (!fn(buf, static_cast<size_t>(n)))
            return false;
    }
}

bool IsHex(const char *text, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (!strchr("0123456789abcdefABCDEF", text[i]) || text[i] == '\0')
            return false;
    return true;
}

bool PlainName(const char *name, size_t n) {
    if (n == 0 || n >= SUM_NAME_SIZE || (n == 1 && name[0] == '.') || (n == 2 && name[0] == '.' && name[1] == '.'))
        return false;
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7f || c == '/' || c == '\\')
            return false;
    }
    return true;
}

// One line of the list (without its line end) into entry; false when malformed.
bool ParseSumLine(const char *line, size_t n, SumEntry *entry) {
    if (n < SUM_HEX_SIZE - 1 + 3 || !IsHex(line, SUM_HEX_SIZE - 1) || line[64] != ' ' ||
        (line[65] != ' ' && line[65] != '*'))
        return false;
    const char *name = line + 66;
    size_t len = n - 66;
    if (!PlainName(name, len))
        return false;
    memcpy(entry->Hex, line, SUM_HEX_SIZE - 1);
    entry->Hex[SUM_HEX_SIZE - 1] = '\0';
    for (char *p = entry->Hex; *p; ++p)
        *p = static_cast<char>(tolower(static_cast<unsigned char>(*p)));
    memcpy(entry->Name, name, len);
    entry->Name[len] = '\0';
    entry->Seen = 0;
    return true;
}

// The whole text of a list into list; false when a line is malformed.
bool ParseSumText(const char *text, size_t size, SumList *list) {
    // Every entry takes a line of at least 67 characters and its line end, so the
    // size bounds the entries whatever the number of empty lines.
    int most = static_cast<int>(size / (SUM_HEX_SIZE + 3)) + 1;
    list->pEntry = static_cast<SumEntry *>(GetMem(static_cast<int>(sizeof(SumEntry)) * most));
    if (!list->pEntry)
        return false;
    for (size_t at = 0; at < size;) {
        const char *end = static_cast<const char *>(memchr(text + at, '\n', size - at));
        size_t n = (end ? static_cast<size_t>(end - text) : size) - at;
        size_t next = at + n + 1;
        if (n > 0 && text[at + n - 1] == '\r')
            --n;
        if (n > 0) {
            if (list->Count >= most)
                return false;
            SumEntry *entry = &list->pEntry[list->Count];
            if (!ParseSumLine(text + at, n, entry) || FindSum(list, entry->Name))
                return false;
            ++list->Count;
        }
        at = next;
    }
    return true;
}

}  // namespace

int FileSum(const char *path, char *hex, size_t size) {
    if (!path || !hex || size < SUM_HEX_SIZE)
        return 0;
    FdCloser file{open(path, O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0)
        return 0;
    std::unique_ptr<EVP_MD_CTX, DigestFree> ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1)
        return 0;
    EVP_MD_CTX *digest = ctx.get();
    bool read = ReadAll(file.fd, [digest](const unsigned char *buf, size_t n) {
        return EVP_DigestUpdate(digest, buf, n) == 1;
    });
    unsigned char sum[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (!read || EVP_DigestFinal_ex(digest, sum, &len) != 1 || len * 2 + 1 != SUM_HEX_SIZE)
        return 0;
    for (unsigned int i = 0; i < len; ++i)
        snprintf(hex + 2 * i, 3, "%02x", sum[i]);
    return 1;
}

char *SumLine(const char *path, const char *name) {
    char hex[SUM_HEX_SIZE];
    if (!FileSum(path, hex, sizeof hex))
        return nullptr;
    return SaveStr("%s  %s\n", hex, name);
}

int ReadSumList(const char *path, SumList *list) {
    list->pEntry = nullptr;
    list->Count = 0;
    FdCloser file{open(path, O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0)
        return errno == ENOENT ? SUMS_ABSENT : SUMS_MALFORMED;
    struct stat st {};
    if (fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > SUM_LIST_MAX)
        return SUMS_MALFORMED;
    MemStr text(static_cast<char *>(GetMem(static_cast<int>(SUM_LIST_MAX))));
    if (!text)
        return SUMS_MALFORMED;
    size_t size = 0;
    char *buf = text.get();
    bool read = ReadAll(file.fd, [buf, &size](const unsigned char *chunk, size_t n) {
        if (size + n > static_cast<size_t>(SUM_LIST_MAX))
            return false;
        memcpy(buf + size, chunk, n);
        size += n;
        return true;
    });
    if (!read || memchr(buf, '\0', size) || !ParseSumText(buf, size, list)) {
        FreeSumList(list);
        return SUMS_MALFORMED;
    }
    return SUMS_READ;
}

void FreeSumList(SumList *list) {
    if (!list)
        return;
    PutMem(list->pEntry);
    list->pEntry = nullptr;
    list->Count = 0;
}

SumEntry *FindSum(const SumList *list, const char *name) {
    if (!list || !name)
        return nullptr;
    for (int i = 0; i < list->Count; ++i)
        if (strcasecmp(list->pEntry[i].Name, name) == 0)
            return &list->pEntry[i];
    return nullptr;
}

int CheckSum(const char *path, const char *hex) {
    struct stat st {};
    if (stat(path, &st) != 0 && errno == ENOENT)
        return SUM_MISSING;
    char sum[SUM_HEX_SIZE];
    if (!FileSum(path, sum, sizeof sum) || strcasecmp(sum, hex) != 0)
        return SUM_DAMAGED;
    return SUM_OK;
}
