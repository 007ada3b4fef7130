/* Preloaded into every process of a Wine session (wineserver included): moves the wall
 * clock by CLOCKSHIFT_SECONDS, so a test reaches a given time of day at once. Built for
 * 64-bit and 32-bit Linux, where Wine reads the clock through glibc's time64 entry point. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <time.h>

#if defined(__i386__)
#define REAL_NAME "__clock_gettime64"
typedef struct { long long tv_sec, tv_nsec; } wall_time;
int __clock_gettime64(clockid_t id, wall_time *ts)
#else
#define REAL_NAME "clock_gettime"
typedef struct timespec wall_time;
int clock_gettime(clockid_t id, wall_time *ts)
#endif
{
    static int (*real)(clockid_t, wall_time *);
    static long shift;
    if (!real) {
        real = (int (*)(clockid_t, wall_time *))dlsym(RTLD_NEXT, REAL_NAME);
        const char *seconds = getenv("CLOCKSHIFT_SECONDS");
        shift = seconds ? atol(seconds) : 0;
    }
    const int rc = real(id, ts);
    if (rc == 0 && (id == CLOCK_REALTIME || id == CLOCK_REALTIME_COARSE)) ts->tv_sec += shift;
    return rc;
}
