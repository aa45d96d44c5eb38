/* Counts how often a process opens one file, as strace would see it, for
   tests that run the tools under LD_PRELOAD:

     VEX_COUNT_OPENS_OF=<name>   a path, or a bare file name that matches any
                                 path ending in "/<name>"
     VEX_COUNT_OPENS_TO=<file>   where the count is appended at exit ("%d\n")

   Every open of the C library that a program or a library it loads may
   call by name is wrapped (open, openat, fopen and their 64-bit and
   fortified forms) and passed on to the real one. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>

static int count;

typedef int (*open_fn)(const char *, int, ...);
typedef int (*openat_fn)(int, const char *, int, ...);
typedef FILE *(*fopen_fn)(const char *, const char *);
typedef int (*fortified_fn)(const char *, int);

/* The next definition of `name` (the C library's), as a function pointer
   of the caller's type. */
#define REAL(type, name, var)                                                                                        \
  type var;                                                                                                          \
  *(void **)(&var) = dlsym(RTLD_NEXT, name)

static void note(const char *path) {
  const char *want = getenv("VEX_COUNT_OPENS_OF");
  if (!path || !want || !*want)
    return;
  const size_t n = strlen(path), w = strlen(want);
  if (strcmp(path, want) == 0 || (strchr(want, '/') == NULL && n > w && path[n - w - 1] == '/' &&
                                  strcmp(path + n - w, want) == 0))
    ++count;
}

__attribute__((destructor)) static void report(void) {
  const char *to = getenv("VEX_COUNT_OPENS_TO");
  if (!to || !*to)
    return;
  REAL(fopen_fn, "fopen", real);
  FILE *f = real ? real(to, "a") : NULL;
  if (f) {
    fprintf(f, "%d\n", count);
    fclose(f);
  }
}

static mode_t mode_of(int flags, va_list ap) { return (flags & (O_CREAT | O_TMPFILE)) ? va_arg(ap, mode_t) : 0; }

#define WRAP_OPEN(name)                                                                                              \
  int name(const char *path, int flags, ...) {                                                                        \
    va_list ap;                                                                                                        \
    va_start(ap, flags);                                                                                               \
    const mode_t mode = mode_of(flags, ap);                                                                            \
    va_end(ap);                                                                                                        \
    note(path);                                                                                                        \
    REAL(open_fn, #name, real);                                                                                   \
    return real(path, flags, mode);                                                                                    \
  }
#define WRAP_OPENAT(name)                                                                                            \
  int name(int dir, const char *path, int flags, ...) {                                                               \
    va_list ap;                                                                                                        \
    va_start(ap, flags);                                                                                               \
    const mode_t mode = mode_of(flags, ap);                                                                            \
    va_end(ap);                                                                                                        \
    note(path);                                                                                                        \
    REAL(openat_fn, #name, real);                                                                                    \
    return real(dir, path, flags, mode);                                                                               \
  }
#define WRAP_FOPEN(name)                                                                                             \
  FILE *name(const char *path, const char *how) {                                                                     \
    note(path);                                                                                                        \
    REAL(fopen_fn, #name, real);                                                                                     \
    return real(path, how);                                                                                            \
  }
#define WRAP_FORTIFIED(name)                                                                                         \
  int name(const char *path, int flags) {                                                                             \
    note(path);                                                                                                        \
    REAL(fortified_fn, #name, real);                                                                                  \
    return real(path, flags);                                                                                          \
  }

WRAP_OPEN(open)
WRAP_OPEN(open64)
WRAP_OPENAT(openat)
WRAP_OPENAT(openat64)
WRAP_FOPEN(fopen)
WRAP_FOPEN(fopen64)
WRAP_FORTIFIED(__open_2)
WRAP_FORTIFIED(__open64_2)
