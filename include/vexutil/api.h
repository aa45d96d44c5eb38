/* Declaration helpers shared by every vexutil header.

   Threads, the rule for the whole library: distinct handles (GFILE, SFILE,
   OGFILE, VEXFILE, ...) may be used from distinct threads at the same time,
   also over the same input file; one handle is used by one thread at a
   time (the library takes no lock on it: calls on it from two threads must
   not overlap, and a handle may move to another thread between calls).
   Calls without a handle work on what the caller passes and may run on
   any thread. Callbacks run on the thread that made the call. What belongs
   to the process rather than to a handle is named in the header that
   declares it, under "Threads", with what it means for callers: the
   diagnostic sink (util.h), the current directory (util.h), the media
   libraries' start (movie.h) and the user interface (ui.h). */
#ifndef VEXUTIL_API_H
#define VEXUTIL_API_H

#include <stddef.h>
#include <stdint.h>

/* Every exported function is declared on one line that starts with VEX_API;
   the build derives the library's export list from those lines. */
#define VEX_API __attribute__((visibility("default")))

#ifdef __cplusplus
#define VEX_EXTERN_C_BEGIN extern "C" {
#define VEX_EXTERN_C_END }
#else
#define VEX_EXTERN_C_BEGIN
#define VEX_EXTERN_C_END
#endif

#endif
