#include "no_memory.h"

#include <cstdlib>
#include <exception>

namespace {

// Set once, before anything is allocated; read only by the handler.
const char* noMemoryMessage = "";
std::FILE* noMemoryStream = nullptr;
int noMemoryStatus = 1;
std::terminate_handler runtimeHandler = nullptr;

[[noreturn]] void onTerminate()
{
    // An uncaught exception is still active here; a failed throw is not.
    if (std::current_exception() == nullptr) {
        // Nothing here allocates: the stream has its buffer or writes
        // unbuffered, and _Exit runs no destructor that might.
        (void)std::fputs(noMemoryMessage, noMemoryStream);
        (void)std::fflush(noMemoryStream);  // the status says it too
        std::_Exit(noMemoryStatus);
    }
    if (runtimeHandler != nullptr)
        runtimeHandler();
    std::abort();
}

}  // namespace

void reportNoMemoryAtTerminate(const char* message, std::FILE* stream, int status)
{
    noMemoryMessage = message;
    noMemoryStream = stream;
    noMemoryStatus = status;
    runtimeHandler = std::set_terminate(onTerminate);
}
