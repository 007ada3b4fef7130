/* Preloaded into every process of a Wine session (wineserver included): moves the
 * wall clock by CLOCKSHIFT_SECONDS, so a test reaches a given time of day at once.
 * Built for both 64-bit and 32-bit Linux; the latter reads the clock through the
 * 64-bit time entry points too. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/time.h>
#include <time.h>

static long shift(void) {
    static long seconds = -1;
    static int read;
    if (!read) {
        const char *text = getenv("CLOCKSHIFT_SECONDS");
        seconds = text ? atol(text) : 0;
        read = 1;
    }
    return seconds;
}

static int is_wall_clock(clockid_t id) { return id == CLOCK_REALTIME || id == CLOCK_REALTIME_COARSE; }

int clock_gettime(clockid_t id, struct timespec *ts) {
    static int (*real)(clockid_t, struct timespec *);
    if (!real) real = (int (*)(clockid_t, struct timespec *))dlsym(RTLD_NEXT, "clock_gettime");
    int rc = real(id, ts);
    if (rc == 0 && is_wall_clock(id)) ts->tv_sec += shift();
    return rc;
}

int gettimeofday(struct timeval *tv, void *tz) {
    static int (*real)(struct timeval *, void *);
    if (!real) real = (int (*)(struct timeval *, void *))dlsym(RTLD_NEXT, "gettimeofday");
    int rc = real(tv, tz);
    if (rc == 0 && tv) tv->tv_sec += shift();
    return rc;
}

time_t time(time_t *out) {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    if (out) *out = ts.tv_sec;
    return ts.tv_sec;
}

#if defined(__i386__)
/* 32-bit glibc's own time64 entry points, which 32-bit Wine calls. */
struct timespec64 { long long tv_sec; long long tv_nsec; };
struct timeval64 { long long tv_sec; long long tv_usec; };

int __clock_gettime64(clockid_t id, struct timespec64 *ts) {
    static int (*real)(clockid_t, struct timespec64 *);
    if (!real) real = (int (*)(clockid_t, struct timespec64 *))dlsym(RTLD_NEXT, "__clock_gettime64");
    int rc = real(id, ts);
    if (rc == 0 && is_wall_clock(id)) ts->tv_sec += shift();
    return rc;
}

int __gettimeofday64(struct timeval64 *tv, void *tz) {
    static int (*real)(struct timeval64 *, void *);
    if (!real) real = (int (*)(struct timeval64 *, void *))dlsym(RTLD_NEXT, "__gettimeofday64");
    int rc = real(tv, tz);
    if (rc == 0 && tv) tv->tv_sec += shift();
    return rc;
}
#endif
