/* Foundation: allocation, rationals and rates, number and duration text,
   the millisecond clock, command-line switches and file names. */
#ifndef VEXUTIL_UTIL_H
#define VEXUTIL_UTIL_H

#include "vexutil/api.h"

VEX_EXTERN_C_BEGIN

/* Messages for the user, passed to the sources and writers: level 0
   progress, 1 the first progress message of a run, 2 an error, 3 (with a
   null text) a refused overwrite. A true result to a progress message of
   the graphics source asks to cancel. */
typedef int32_t (*VEXMessageCallback)(const char *text, int32_t level);

/* Blocks are 32-byte aligned; release them only with vexfree. A size of 0,
   0xFFFFFFFF or anything within 32 of 2^32 gives null. */
VEX_API void *vexmalloc(uint32_t size);
VEX_API void vexfree(void *block);
/* Size of a file in bytes; 0 when it cannot be opened. */
VEX_API uint32_t vexfilesize(const char *name);

/* Rationals: unsigned numerator/denominator, reduced in place. */
VEX_API void GCDNums(uint32_t *num, uint32_t *den);
/* Reads "[-]digits[.digits][;digits[.digits]]"; ';' divides. Returns the
   first character not consumed. Negative values: two's-complement numerator. */
VEX_API char *atofr(const char *text, uint32_t *num, uint32_t *den);
/* Frame-rate value -> hundredths of a frame per second (at least 5), or 0.
   v > 0: ms per frame; -1500 <= v < 0: whole fps; v < -1500: hundredths. */
VEX_API int32_t MakeFrameRate(int32_t v);

/* Decimal text of value read as signed 32-bit; returns the terminating zero. */
VEX_API char *u32toa(char *buffer, uint32_t value);
VEX_API int32_t atou32(const char *text);
VEX_API char *findchar(const char *text, int c);
/* "1 minute 5 seconds" and the like; returns buffer (40 bytes suffice). */
VEX_API char *GetElapsedTime(char *buffer, uint32_t ms);
/* "4,294,967,295"; buffer of 14 bytes suffices. */
VEX_API void CommaNum(char *buffer, uint32_t value);
/* Monotonic milliseconds since the first call. */
VEX_API uint32_t VEXTimerRead(void);

/* Texts edited in place. A blank is a byte 1..32. */
VEX_API void Trim(char *s);
VEX_API void TrimAscii(char *s);
VEX_API void TrimL(char *s);
VEX_API void GetAndRemoveFirst(char *dest, char *s);
VEX_API void GetAndRemoveFirstQuoted(char *dest, char *s);
VEX_API void RemoveQuotes(char *s);
/* Appends the directory separator '/' unless the path ends with one. The
   buffer needs room for one more character. */
VEX_API void AddBackslash(char *path);

/* Switches: '/' + letter (pass the letter in upper case). */
VEX_API int32_t GetSwitch(char *cmd, int32_t letter);
VEX_API int32_t GetSwitchNum(char *cmd, int32_t letter, int32_t def);
VEX_API void GetSwitchFractional(char *cmd, int32_t letter, uint32_t *num, uint32_t *den,
                                 uint32_t def_num, uint32_t def_den);
VEX_API int32_t GetSwitchStr(char *cmd, int32_t letter, char *dest, const char *def);
VEX_API void RemoveMinusSwitches(char *cmd);

/* File names. Paths use '/'; there are no drive letters, so the drive piece
   is always empty and GetDrive gives the first character of the full path.
   Path buffers must hold 256 bytes. */
VEX_API char *HasExtension(const char *name);
VEX_API void ExpandFileName(char *path);
VEX_API int32_t IsDirectory(char *path, int32_t stay);
VEX_API void GetFilePieces(char *path, int32_t drive, int32_t dir, int32_t name, int32_t ext);
VEX_API int32_t GetDrive(char *path);
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
   its "Debug" setting asks for them. The sink may be called from any
   thread that uses the library, one line at a time. */
typedef void (*VEXDiagnosticSink)(void *user, const char *line);
VEX_API const char *VEXLastError(void);
VEX_API void VEXSetDiagnosticSink(VEXDiagnosticSink sink, void *user);

VEX_EXTERN_C_END

#endif
