/* The floor for a logger of this kind: reads the port as its bytes arrive, stamps each line with
 * the wall clock when its line end is read, and writes what it has once every 900 ms with one
 * write and one fdatasync. No checks, no framing, no formatting beyond the stamp.
 * Usage: minimal_logger DEVICE FILE (ends with SIGTERM). */
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static long long ms(clockid_t clock)
{
    struct timespec t;
    clock_gettime(clock, &t);
    return (long long)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

int main(int argc, char** argv)
{
    static char pending[1 << 20], line[256];
    size_t used = 0, length = 0;
    if (argc != 3)
        return 2;
    int in = open(argv[1], O_RDONLY | O_NOCTTY | O_NONBLOCK);
    int out = open(argv[2], O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (in < 0 || out < 0)
        return 1;
    long long due = ms(CLOCK_MONOTONIC) + 900;
    for (;;) {
        long long wait = due - ms(CLOCK_MONOTONIC);
        struct pollfd p = {in, POLLIN, 0};
        if (poll(&p, 1, wait > 0 ? (int)wait : 0) > 0) {
            char bytes[4096];
            ssize_t n = read(in, bytes, sizeof bytes);
            long long stamp = ms(CLOCK_REALTIME);
            for (ssize_t i = 0; i < n; ++i) {
                if (bytes[i] != '\n') {
                    if (length < sizeof line)
                        line[length++] = bytes[i];
                } else if (used + length + 32 < sizeof pending) {
                    used += (size_t)sprintf(pending + used, "%lld,", stamp);
                    memcpy(pending + used, line, length);
                    used += length;
                    pending[used++] = '\n';
                    length = 0;
                }
            }
        }
        if (ms(CLOCK_MONOTONIC) >= due) {
            if (used > 0 && write(out, pending, used) > 0)
                fdatasync(out);
            used = 0;
            due += 900;
        }
    }
}
