// What a Unix adds to the POSIX steps of replace-posix.cpp, a file per
// system (extras-posix.cpp has none); each step falls back to the POSIX way
// when an extra fails, whatever the error.
#pragma once

#include <sys/types.h>

// Folders whose entries name this process's descriptors, ending with nullptr.
extern const char* const descriptorFolders[];

// A folder opened for the *at calls without the right to read it; -1 where
// the system has no such open.
int openFolderForNames(const char* path);

// Whether new names in the folder could never be removed (append-only).
bool isAppendOnly(int folder);

// A file in `folder` that has no name until nameUnnamedFile gives it one,
// so that a killed run leaves nothing; -1 where the system has none.
int openUnnamedFile(int folder, mode_t mode);
int nameUnnamedFile(int file, int folder, const char* name);  // 0 or an errno value

// Gives the empty file `to` what ">" keeps on `from` beyond owner and mode:
// extended attributes with the ACL, file flags. False when `to` may not
// have one of them.
bool giveExtraAttributes(int from, int to);

// Holds `length` bytes of space for `file`, its content as it is: 0, or
// ENOSPC or EDQUOT when there is no room; another value where it cannot tell.
int holdSpace(int file, off_t length);

// Exchanges two names of `folder`: 0 or an errno value.
int exchangeNames(int folder, const char* one, const char* other);

// Renames `from` to `to` only while `to` is free: 0, EEXIST when it is
// taken, or another errno value.
int renameIfFree(int folder, const char* from, const char* to);
