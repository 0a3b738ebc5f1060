// FileCmds.h - creating, deleting and renaming files through the command runner,
// so that each change is logged like any other system command.
// CreateFile makes dir when it is missing, then (with a name) touches dir/name and
// applies the mode, owner and group given (null ones are left alone); a failing
// step stops the program. DeleteFile and DeleteFile_ remove dir/name (or the one
// path given) with "rm -r" when it exists; a failure is a warning. RenameFile moves
// dir/oldName to dir/newName (or oldName to newName without a dir) when the source
// exists; a failure is a warning.
#pragma once

void CreateFile(const char *dir, const char *name, const char *mode, const char *owner, const char *group);
void DeleteFile(const char *dir, const char *name);
void DeleteFile_(const char *path, const char *name);
void RenameFile(const char *dir, const char *oldName, const char *newName);
