// strerror in the words of Linux's C library, for the failures of files
// that trivolta reports: the page's C library (musl) words a dozen of them
// otherwise ("Filename too long"), and the page gives the native program's
// messages. Linked in place of strerror by -Wl,--wrap=strerror.
#include <cerrno>
#include <cstring>

extern "C" char* __real_strerror(int error);

extern "C" char* __wrap_strerror(int error)
{
    static const struct {
        int error;
        const char* words;
    } linuxWords[] = {
        {EIO, "Input/output error"},
        {ENOMEM, "Cannot allocate memory"},
        {EBUSY, "Device or resource busy"},
        {EXDEV, "Invalid cross-device link"},
        {ENOTTY, "Inappropriate ioctl for device"},
        {ESPIPE, "Illegal seek"},
        {EMFILE, "Too many open files"},
        {ENAMETOOLONG, "File name too long"},
        {ELOOP, "Too many levels of symbolic links"},
        {EOVERFLOW, "Value too large for defined data type"},
        {ENOTSUP, "Operation not supported"},
        {EDQUOT, "Disk quota exceeded"},
    };
    for (const auto& known : linuxWords)
        if (known.error == error)
            return const_cast<char*>(known.words);  // strerror's own type; never written through
    return __real_strerror(error);
}
