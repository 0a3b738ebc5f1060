// Files.h - existence by directory listing, attributes, whole-file reads, the
// current input file, and text files written in one call.
// Listings are saved strings " a b c " (blank-delimited keyword lists; FindToken
// finds an entry); the caller releases them with PutMem. Error levels: 0 silent,
// 1 report and continue, 2 report and stop. LineBuf, Line and Name are shared
// buffers overwritten by the next user.
#pragma once
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include "Attrs.h"
#include "Buffers.h"

constexpr int INPUT_FILE_NAME_SIZE = 256;

extern int32_t LineLen;
extern FILE *pIn;
extern FILE *pOut;
extern char InputFileName[INPUT_FILE_NAME_SIZE];
extern int32_t FileStatus;       // 0 open, 1 closed or at end, 2 failed to open
extern char *pLine;
extern int32_t LineCnt;
extern int32_t InPos;
extern char flInputFilterState;  // 1: GetLine strips comments and white space
extern int32_t SavedFileSize;

enum { FILETYPE_NONE = 0, FILETYPE_DIR = 1, FILETYPE_LINK = 2, FILETYPE_OTHER = 3 };

// FindFile: 1 when the name is an entry of the directory's listing. A null
// directory takes the name as the path; a null or empty name splits the path
// (StripFn/StripPath); a name with slashes is joined to the directory and split
// at its last slash. An empty name left by the split (a trailing slash) means
// "any directory that can be listed", so FindFile("/", "/") is 1; a name with a
// blank is never found. FindFile_ tests dir/name (or the one given) with stat.
int FindFile(const char *dir, const char *name);
int FindFile_(const char *dir, const char *name);
// The path itself is examined (a symbolic link is FILETYPE_LINK). Size and time
// are 0 when the file cannot be examined.
int GetFileType(const char *path);
int64_t GetFileSize(const char *path);
long GetFileTime(const char *path);
char *ReadDir(DIR *d);
// Listings: null when the directory cannot be opened; SearchDirFileList keeps
// the entries whose text after their last dot equals ext (all but "." and ".."
// for a null ext) and is null when none qualifies.
char *GetDirFileList(const char *dir);
char *SearchDirFileList(const char *dir, const char *ext);

// Whole-file reads of dir/name, or of dir when name is null.
// GetFileContent: at most 4095 bytes into LineBuf; GetFileContentR: at most size
// bytes into buf (size + 1 bytes); both NUL-terminate and give 0 when the file
// cannot be opened or read. GetSavedFileContent: a new saved buffer of the whole
// file (the caller releases it), null when it is empty, missing, unreadable or
// too large for one allocation ("Unable to allocate memory" warning); SavedFileSize
// holds the size read (the file's size, at most INT32_MAX, after a failure).
int GetFileContent(const char *dir, const char *name);
int GetFileContentR(const char *dir, const char *name, char *buf, int size);
char *GetSavedFileContent(const char *dir, const char *name);
// FileSearch: the first line containing text (any line for null text), in a
// 512-byte buffer of this module; a longer line is matched within its first 511
// characters and the rest is skipped. Open failures follow OpenFile's levels.
char *FileSearch(const char *path, const char *text, int level);
// OpenInputFile: 1 when path is now the current input file (a previous one is
// closed). On failure "can't open file, %s" goes through ErrorMsg at the level
// (level 2 exits with status 1), FileStatus is 2, LineBuf empty, LineLen 0. A path
// that does not fit InputFileName is refused, never cut. OpenInputFileF formats
// the path first.
int OpenInputFile(const char *path, int level);
int OpenInputFileF(int level, const char *fmt, ...) PRINTF_LIKE(2, 3);
void CloseInputFile();
// GetFileLine: 1 and the next line in LineBuf, newline kept; lines that end in a
// backslash and a newline are joined with the next (LineLen: the length before
// the last physical line). A line is read to its newline: what does not fit
// LineBuf is dropped with one warning. At the end the file is closed, FileStatus
// 1, result 0.
// GetFileTextLine: the first token of the next line that is not "#..." or blank.
// GetLine: the next logical line in Line (first 512 bytes, the rest of them
// cleared); with flInputFilterState set, "//" and "/* */" comments (a block
// comment may span lines; the text around it is joined), leading white space and
// the line end are removed. Returns the physical lines consumed (LineCnt), 0 at
// the end; InPos is the offset of its first physical line; physical lines keep at
// most 510 characters (the rest is dropped with a warning).
int GetFileLine();
int GetFileTextLine(const char *delims);
int GetLine();
int GetLineN(int n);
int GetLinePos(long offset);
char *fgetsp(char *buf, int size, FILE *stream, long offset);

// OpenFile closes stream (when not null), then opens path. Failure: level 2
// SysError("can't open file, %s"), level 1 "ERROR: can't open file, %s\n" on
// stderr, level 0 silent; result null. OpenFileF refuses a formatted path over
// 511 characters the same way. OpenRawFile prints "ERROR: can't open file, %s"
// on stdout on failure. CreateTextFile writes the formatted text (perms set when
// not 0); 0 after "ERROR: couldn't open %s\n" or "ERROR: couldn't write %s\n".
FILE *OpenFile(FILE *stream, const char *path, const char *mode, int level);
FILE *OpenFileF(FILE *stream, const char *mode, int level, const char *fmt, ...) PRINTF_LIKE(4, 5);
int OpenRawFile(const char *path, int flags);
int CreateTextFile(const char *path, const char *mode, int perms, const char *fmt, ...) PRINTF_LIKE(4, 5);

// True when both paths name the same file (device and inode).
bool SameFile(const char *a, const char *b);
// chdir that stops the program (SysError, status 1) when it fails.
void ChangeDir(const char *dir);

// Fixed names in directories other users can write to (the temporary directory, a
// directory the administrator typed). ExamineSharedName looks at the path itself: a
// symbolic link, FIFO, socket or device there, or a regular file of the effective
// user with more than one link, is removed (removing a name loses no data) and the
// result is SHARED_NONE, as for a missing entry; a regular file or directory of
// the effective user with one link (any directory) is SHARED_OWN, left for the
// caller to reuse or remove; anything else (another user's file or directory, or an
// entry that could not be removed) is SHARED_FOREIGN and is left alone.
// ClaimSharedName is the same for a name the run needs: SHARED_FOREIGN stops the
// program with "ERROR: <path> belongs to another user" and status 1.
enum { SHARED_NONE = 0, SHARED_OWN = 1, SHARED_FOREIGN = 2 };
int ExamineSharedName(const char *path);
int ClaimSharedName(const char *path);
// A new regular file at path, made without following links (O_CREAT | O_EXCL |
// O_NOFOLLOW) and given perms whatever the umask: a write-only, close-on-exec
// descriptor, or -1 with errno set when it cannot be made (something is there).
int CreateSharedFile(const char *path, int perms);
// ReplaceSharedFile: a fresh file at a fixed name the run needs: another user's
// entry stops the run (ClaimSharedName), the program's own earlier file is removed,
// and the new one is made without following links. The open descriptor; a failure
// to create stops the program through SysError.
int ReplaceSharedFile(const char *path, int perms);
// A new directory at path (mkdir, never an existing one), checked to be a directory
// of the effective user and given perms whatever the umask: 1, else 0 with errno set.
int MakeSharedDir(const char *path, int perms);
// 1 when path is a directory (not a link) of the effective user that no other user
// may write to (neither group nor others have write permission).
int IsSafeDir(const char *path);
// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that no file
// the program opens later takes the place of standard input, output or error.
void OpenStandardDescriptors();
