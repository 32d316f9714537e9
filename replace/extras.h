// What a Unix adds to the POSIX steps of replace-posix.cpp, a file per
// system (extras-posix.cpp has none). Each returns 0 or an errno value,
// ENOSYS where the system has no such call; the caller then takes the POSIX
// way, whatever the error.
#pragma once

#include "replace.h"

#include <cerrno>

#include <sys/types.h>

// What a call that returns 0, or -1 with errno set, gave.
inline Result resultOf(int returned)
{
    if (returned == 0)
        return 0;
    return errno != 0 ? errno : EIO;
}

// Folders whose entries name this process's descriptors, ending with nullptr.
extern const char* const descriptorFolders[];

// A folder opened for the *at calls by one who may not read it.
Result openUnreadableFolder(const char* path, int& folder);

// Whether new names in the folder could never be removed (append-only).
Result isAppendOnly(int folder, bool& appendOnly);

// A file in `folder` that has no name until nameUnnamedFile gives it one,
// so that a killed run leaves nothing.
Result openUnnamedFile(int folder, mode_t mode, int& file);
Result nameUnnamedFile(int file, int folder, const char* name);

// Gives the empty file `to` what ">" keeps on `from` beyond owner and mode:
// extended attributes with the ACL, file flags, project and extent size.
Result giveExtraAttributes(int from, int to);

// Holds `length` bytes from `offset` for `file`, its content as it is:
// ENOSPC or EDQUOT when there is no room.
Result holdSpace(int file, off_t offset, off_t length);

// How overwriting `file` takes space: in place; maybe copied on write, so
// that held space does not cover it (btrfs, XFS's shared blocks); or copied
// up from a lower layer when first opened for writing (overlayfs).
enum class Storage { InPlace, CopyOnWrite, CopiedUpOnOpen };
Result storageOf(int file, Storage& storage);

// Makes `to` share the blocks of `from`, all of it: no new data space.
Result cloneContent(int to, int from);

// Exchanges two names of `folder`.
Result exchangeNames(int folder, const char* one, const char* other);

// Renames `from` to `to` only while `to` is free: EEXIST when it is taken.
Result renameIfFree(int folder, const char* from, const char* to);
