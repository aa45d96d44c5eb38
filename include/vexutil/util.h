/* Foundation: allocation, rationals and rates, number and duration text,
   the millisecond clock, command-line switches and file names.

   Threads: every call here may run on any thread at the same time as any
   other, on buffers of its own. vexmalloc and vexfree are the system
   heap's; VEXLastError is per thread; VEXTimerRead counts from one start
   for the whole process. Process-wide: the diagnostic sink (one for the
   process, see VEXSetDiagnosticSink) and the current directory, which
   ExpandFileName, GetFilePieces and GetDrive read for relative names and
   IsDirectory with `stay` changes for every thread (a relative name that
   another thread opens meanwhile then leads elsewhere: a program with
   threads passes full names, or changes directory before they start). */
#ifndef VEXUTIL_UTIL_H
#define VEXUTIL_UTIL_H

#include "vexutil/api.h"

VEX_EXTERN_C_BEGIN

/* Messages for the user, passed to the sources and writers: level 0
   progress, 1 the first progress message of a run, 2 an error, 3 (with a
   null text) a refused overwrite. A true result to a progress message of
   the graphics source asks to cancel. */
typedef int32_t (*VEXMessageCallback)(const char *text, int32_t level);

/* Blocks are 32-byte aligned and not cleared; the caller owns each until
   it hands it to vexfree (and only to vexfree, not free). A size of 0,
   0xFFFFFFFF or anything within 32 of 2^32 gives null. When memory runs
   out: null, the line "Memory Error: Error: ran out of memory!" to the
   diagnostic sink (below) and the reason "out of memory". */
VEX_API void *vexmalloc(uint32_t size);
/* Null is ignored. */
VEX_API void vexfree(void *block);
/* Size of a file in bytes; 0 when it cannot be opened (or is empty). */
VEX_API uint32_t vexfilesize(const char *name);

/* Rationals: unsigned numerator/denominator, reduced in place. */
VEX_API void GCDNums(uint32_t *num, uint32_t *den);
/* Reads "[-]digits[.digits][;digits[.digits]]"; ';' divides. Returns the
   first character not consumed. Negative values: two's-complement numerator. */
VEX_API char *atofr(const char *text, uint32_t *num, uint32_t *den);
/* Frame-rate value -> hundredths of a frame per second (at least 5), or 0.
   v > 0: ms per frame; -1500 <= v < 0: whole fps; v < -1500: hundredths. */
VEX_API int32_t MakeFrameRate(int32_t v);

/* Decimal text of value read as signed 32-bit into buffer (12 bytes
   suffice); returns a pointer to the terminating zero. */
VEX_API char *u32toa(char *buffer, uint32_t value);
/* The signed decimal number at the start of text (leading white space and
   one '-' allowed); 0 for null or no digits. */
VEX_API int32_t atou32(const char *text);
/* The first c in text, or null (also for null text). */
VEX_API char *findchar(const char *text, int c);
/* "1 minute 5 seconds" and the like; returns buffer (40 bytes suffice). */
VEX_API char *GetElapsedTime(char *buffer, uint32_t ms);
/* "4,294,967,295"; buffer of 14 bytes suffices. */
VEX_API void CommaNum(char *buffer, uint32_t value);
/* Monotonic milliseconds since the first call. */
VEX_API uint32_t VEXTimerRead(void);

/* Texts edited in place; null is ignored. A blank is a byte 1..32.
   Trim drops trailing blanks; TrimAscii trailing bytes outside 33..127;
   TrimL leading blanks.
   GetAndRemoveFirst moves the first word of s (after leading blanks: up to
   the next blank, with the blanks after it and one ',' after those) into
   dest, trims dest's trailing blanks and s's leading ones. dest must hold
   strlen(s) + 1 bytes; it may not overlap s.
   GetAndRemoveFirstQuoted does the same, except that a first word opening
   with '"' runs to the next '"' (blanks included) and goes into dest
   without its quotes; without a closing quote it is taken as a plain word.
   s is then trimmed at both ends.
   RemoveQuotes trims s and drops a '"' at each end when both are there. */
VEX_API void Trim(char *s);
VEX_API void TrimAscii(char *s);
VEX_API void TrimL(char *s);
VEX_API void GetAndRemoveFirst(char *dest, char *s);
VEX_API void GetAndRemoveFirstQuoted(char *dest, char *s);
VEX_API void RemoveQuotes(char *s);
/* Appends the directory separator '/' unless the path ends with one. The
   buffer needs room for one more character. */
VEX_API void AddBackslash(char *path);

/* Switches: '/' + letter (pass the letter in upper case; the text may
   have either case) in a command line the caller owns. A switch that is
   found is removed from cmd, with its value.
   GetSwitch: 1 for "/X" followed by the end, a blank or a character
   below '0' (so not by a value), else 0.
   GetSwitchNum: the signed number after "/X", or def when there is none.
   GetSwitchFractional: the rational after "/X" (as atofr reads it) into
   num and den, or def_num and def_den; null pointers are skipped.
   GetSwitchStr: the value after "/X" up to the next blank (a value in
   double quotes may hold blanks; the quotes are dropped) into dest, which
   must hold it; 1 found, 0 not found (dest then gets def, or "" for null).
   RemoveMinusSwitches: every "/-X" cancels the "/X" switches before it;
   both go. */
VEX_API int32_t GetSwitch(char *cmd, int32_t letter);
VEX_API int32_t GetSwitchNum(char *cmd, int32_t letter, int32_t def);
VEX_API void GetSwitchFractional(char *cmd, int32_t letter, uint32_t *num, uint32_t *den,
                                 uint32_t def_num, uint32_t def_den);
VEX_API int32_t GetSwitchStr(char *cmd, int32_t letter, char *dest, const char *def);
VEX_API void RemoveMinusSwitches(char *cmd);

/* File names. Paths use '/'; there are no drive letters, so the drive piece
   is always empty and GetDrive gives the first character of the full path.
   Path buffers must hold 256 bytes; a result that would not fit leaves the
   buffer as it was. */
/* The '.' that starts the extension of the last path piece, or null. */
VEX_API char *HasExtension(const char *name);
/* Completes a relative name from the current directory and resolves "."
   and ".." lexically (links are not followed). */
VEX_API void ExpandFileName(char *path);
/* 1 when path names a directory that can be entered; path becomes its full
   name. stay nonzero also makes it the current directory. 0 otherwise. */
VEX_API int32_t IsDirectory(char *path, int32_t stay);
/* Keeps in path (made full first) only the pieces asked for: directory
   (with its closing '/'), name, extension (with its '.'). */
VEX_API void GetFilePieces(char *path, int32_t drive, int32_t dir, int32_t name, int32_t ext);
/* The first character of the full path, upper-cased ('/'); 0 for null. */
VEX_API int32_t GetDrive(char *path);
/* dir + an 8.3 name made of prefix (at most 8 characters) and the hex
   digits of n as letters 'A'-'P'; dest needs strlen(dir) + 13 bytes.
   Returns dest; nothing is created. */
VEX_API char *GetTempName(char *dest, const char *dir, const char *prefix, uint32_t n);

/* Failure reasons and diagnostics: additions of this Linux port, with no
   counterpart in the original interface.

   VEXLastError returns why the last call that failed on the calling thread
   failed: "no such file", "not a file of this kind", or a precise detail
   such as "frame 12 runs past the end of the file". Each thread has its
   own; a reader's open forgets the previous reason first, so after a
   failed open the text is about that open. "" when there is none. The text
   belongs to the library and stays valid until the thread's next failure.

   The library says nothing on its own by default. VEXSetDiagnosticSink
   hands every line it would say (the allocator's "Memory Error", the
   Korvane reader's "Debug" lines) to sink(user, line), the line without
   its line feed; a null sink removes it. Without a sink, lines go to
   stderr when the environment variable VEXUTIL_DIAGNOSTICS is set to a
   non-zero number (read once per process), and Korvane's lines also when
   its "Debug" setting asks for them.
   Threads: the sink is the process's, not a thread's. It is called on
   whichever thread has something to say, one line at a time (the calls
   never overlap, and lines from several threads may come in any order).
   VEXSetDiagnosticSink may run on any thread; it waits while a line is
   being handed on, so once it returns the old sink is called no more (a
   sink may call into the library, this function included). */
typedef void (*VEXDiagnosticSink)(void *user, const char *line);
VEX_API const char *VEXLastError(void);
VEX_API void VEXSetDiagnosticSink(VEXDiagnosticSink sink, void *user);

VEX_EXTERN_C_END

#endif
