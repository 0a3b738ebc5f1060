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

constexpr int LINEBUF_SIZE = 4096;
constexpr int LINE_SIZE = 65535;
constexpr int NAME_SIZE = 256;
constexpr int INPUT_FILE_NAME_SIZE = 256;

extern char LineBuf[LINEBUF_SIZE];
extern int32_t LineLen;
extern FILE *pIn;
extern FILE *pOut;
extern char InputFileName[INPUT_FILE_NAME_SIZE];
extern int32_t FileStatus;       // 0 open, 1 closed or at end, 2 failed to open
extern char Line[LINE_SIZE];
extern char *pLine;
extern int32_t LineCnt;
extern int32_t InPos;
extern char flInputFilterState;  // 1: GetLine strips comments and white space
extern int32_t SavedFileSize;
extern char Name[NAME_SIZE];

enum { FILETYPE_NONE = 0, FILETYPE_DIR = 1, FILETYPE_LINK = 2, FILETYPE_OTHER = 3 };

int FindFile(const char *dir, const char *name);
int FindFile_(const char *dir, const char *name);
int GetFileType(const char *path);
int64_t GetFileSize(const char *path);
long GetFileTime(const char *path);
char *ReadDir(DIR *d);
char *GetDirFileList(const char *dir);
char *SearchDirFileList(const char *dir, const char *ext);

int GetFileContent(const char *dir, const char *name);
int GetFileContentR(const char *dir, const char *name, char *buf, int size);
char *GetSavedFileContent(const char *dir, const char *name);
char *FileSearch(const char *path, const char *text, int level);
int OpenInputFile(const char *path, int level);
int OpenInputFileF(int level, const char *fmt, ...) PRINTF_LIKE(2, 3);
void CloseInputFile();
int GetFileLine();
int GetFileTextLine(const char *delims);
int GetLine();
int GetLineN(int n);
int GetLinePos(long offset);
char *fgetsp(char *buf, int size, FILE *stream, long offset);

FILE *OpenFile(FILE *stream, const char *path, const char *mode, int level);
FILE *OpenFileF(FILE *stream, const char *mode, int level, const char *fmt, ...) PRINTF_LIKE(4, 5);
int OpenRawFile(const char *path, int flags);
int CreateTextFile(const char *path, const char *mode, int perms, const char *fmt, ...) PRINTF_LIKE(4, 5);

// Run through the system command runner (logged like any other command).
void CreateFile(const char *dir, const char *name, const char *mode, const char *owner, const char *group);
void DeleteFile(const char *dir, const char *name);
void DeleteFile_(const char *path, const char *name);
void RenameFile(const char *dir, const char *oldName, const char *newName);
