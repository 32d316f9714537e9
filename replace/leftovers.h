// The names a run has made and not handed over: the new content's file
// beside the target while it has a name, and a target the run created.
// Their one owner removes them on every way out: when the replacement is
// dropped, at exit(), and on SIGINT, SIGTERM, SIGHUP and SIGPIPE, whose
// handler removes them with async-signal-safe calls and then ends the
// process by the same signal. Only SIGKILL or a power loss can leave one.
#pragma once

#include <sys/stat.h>

enum class Leftover { Content, CreatedTarget };

// `name` in `folder` is removed on the way out while it is still the file
// `made` was made as; `name` is within the limit of a name (NAME_MAX).
void keepLeftover(Leftover which, int folder, const char* name, const struct stat& made);
// The name is the caller's now, or gone: it is not removed.
void handOver(Leftover which);
// Removes the name now, if it is still the file that was made.
void removeLeftover(Leftover which);
