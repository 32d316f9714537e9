/* The bare replacement glyphrot is measured against: opens, reads, writes a
   new file, closes and renames, with no check and nothing kept (owner,
   mode, attributes), converting nothing. */
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    static char buffer[1 << 16];
    char temporary[4096];
    if (argc != 2)
        return 2;
    snprintf(temporary, sizeof temporary, "%s.new", argv[1]);
    int in = open(argv[1], O_RDONLY);
    ssize_t got = read(in, buffer, sizeof buffer);
    int out = open(temporary, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (got < 0 || write(out, buffer, (size_t)got) != got)
        return 1;
    close(out);
    close(in);
    return rename(temporary, argv[1]) == 0 ? 0 : 1;
}
