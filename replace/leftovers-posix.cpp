#include "leftovers.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include <fcntl.h>
#include <unistd.h>

namespace {

struct Name {
    volatile sig_atomic_t folder = -1;  // set last, cleared first: a handler sees a whole name or none
    char name[256] = {};
    dev_t device = 0;
    ino_t file = 0;
};
Name names[2];

// Async-signal-safe: called by the handler too.
void removeName(Name& kept)
{
    const int folder = kept.folder;
    kept.folder = -1;
    struct stat now {};
    if (folder >= 0 && fstatat(folder, kept.name, &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_dev == kept.device &&
        now.st_ino == kept.file)
        (void)unlinkat(folder, kept.name, 0);
}

void removeAll()
{
    for (Name& kept : names)
        removeName(kept);
}

// The disposition was reset on entry: the signal, raised again, ends the run
// as it would have without the handler.
void onSignal(int signal)
{
    removeAll();
    (void)raise(signal);
}

// Signals the caller ignores (a background job's SIGINT) stay ignored.
void installOwner()
{
    (void)std::atexit(removeAll);
    struct sigaction action {};
    action.sa_handler = onSignal;
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    (void)sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        struct sigaction before {};
        if (sigaction(signal, &action, &before) == 0 && before.sa_handler == SIG_IGN)
            (void)sigaction(signal, &before, nullptr);
    }
}

}  // namespace

void keepLeftover(Leftover which, int folder, const char* name, const struct stat& made)
{
    static const bool installed = (installOwner(), true);
    (void)installed;
    Name& kept = names[static_cast<int>(which)];
    kept.folder = -1;
    std::strncpy(kept.name, name, sizeof kept.name - 1);
    kept.device = made.st_dev;
    kept.file = made.st_ino;
    kept.folder = folder;
}

void handOver(Leftover which)
{
    names[static_cast<int>(which)].folder = -1;
}

void removeLeftover(Leftover which)
{
    removeName(names[static_cast<int>(which)]);
}
