/* The buffered, bit-addressable file under every reader and writer:
   one buffer, one cursor for reading and writing, little-endian values,
   bit fields packed least significant bit first. Positions and sizes are
   32-bit byte offsets (files up to 4 GiB).

   A VEXFILE sits directly on a POSIX descriptor (no stdio buffering under
   it) and asks the system for sequential read-ahead. There are no sharing
   modes: other processes are not locked out of a file this one created.

   Threads: a VEXFILE belongs to one thread at a time (its buffer and
   cursor are unlocked). Distinct VEXFILEs may be used on distinct threads
   at once, over the same file too: each has a descriptor and a buffer of
   its own, so readers never disturb each other, while two writers of one
   file (or a reader beside a writer) see each other's bytes only as the
   system has them, as two processes would. The calls on names
   (VEXFileErase, VEXFileRename, the temporaries, LogString) may run on
   any thread: VEXFileReserveTemporary creates its file exclusively, so
   two threads never get the same name; two LogString calls on one log at
   once may interleave their texts. */
#ifndef VEXUTIL_FILE_H
#define VEXUTIL_FILE_H

#include "vexutil/api.h"

VEX_EXTERN_C_BEGIN

#define VEXFILE_READ 250      /* open an existing file for reading */
#define VEXFILE_READWRITE 251 /* open an existing file for reading and writing */
#define VEXFILE_NAME_SIZE 128 /* names of 128 characters or more are refused */

/* Callers read write_error (and may read the rest); field order is fixed. */
typedef struct VEXFILE {
  int32_t handle;      /* descriptor; -1 once closed */
  int32_t write_error; /* 1 after any put the system took short; never cleared */
  char name[VEXFILE_NAME_SIZE];
  uint8_t *buffer;     /* allocated at the first transfer; null with capacity 0 */
  uint32_t capacity;
  uint32_t buffer_end; /* read: bytes of the last fill; write: point of "full" */
  uint32_t cursor;     /* next byte to read or write in the buffer */
  uint32_t file_offset;/* read: just after the last byte read; write: where buffer[0] lands */
  uint32_t cached_size;/* 0xFFFFFFFF until learned */
  uint32_t bit_count;  /* read: bits of held_byte consumed; write: bits waiting */
  uint32_t held_byte;
  int32_t mode;        /* 1 write mode, 0 read mode */
} VEXFILE;

/* Opening and closing. buffer_size is the buffer's capacity in bytes (its
   absolute value; 0 means unbuffered: every transfer goes to the system).
   The buffer is allocated at the first transfer; when that allocation
   fails the file goes on unbuffered. Names of VEXFILE_NAME_SIZE characters
   or more are refused. Each returns the handle, owned by the caller until
   VEXFileClose, or null when the name is refused, the file cannot be
   opened or created (a folder is not a file), or the record cannot be
   allocated; VEXLastError() then gives no reason of its own. */
/* mode VEXFILE_READ or VEXFILE_READWRITE (anything else: null). */
VEX_API VEXFILE *VEXFileOpen(int32_t buffer_size, const char *name, int32_t mode);
/* Creates or truncates the file, open for writing and reading. */
VEX_API VEXFILE *VEXFileCreate(int32_t buffer_size, const char *name);
/* The same as VEXFileCreate (kept for callers of both names). */
VEX_API VEXFILE *VEXFileCreateWithRead(int32_t buffer_size, const char *name);
/* Writes out what is buffered (a pending partial byte first, its unused
   high bits 0), closes the descriptor and frees the record. Null is
   ignored. The handle is gone afterwards. */
VEX_API void VEXFileClose(VEXFILE *f);

/* Reading. Every get returns what it delivered and never blocks past the
   end of the file: a short count means the end (or a failed read).
   VEXFileGetNB ("no bits") copies n raw bytes from the current byte
   position and ignores a pending bit position: after VEXFileGetBits has
   consumed part of a byte, the bytes it returns start at the byte after
   that partly read one.
   VEXFileGet honours the pending bit position: byte i of the result is
   made of the 8 bits that follow bit position 8 x i in the bit stream
   (least significant first), exactly what eight 1-bit VEXFileGetBits calls
   would give; on a byte boundary it is VEXFileGetNB. At the end of the
   file (0 bytes delivered) the pending bits are dropped.
   dest must hold n bytes. A closed or null handle gives 0. */
VEX_API uint32_t VEXFileGetNB(VEXFILE *f, void *dest, uint32_t n);
VEX_API uint32_t VEXFileGet(VEXFILE *f, void *dest, uint32_t n);
/* Little-endian values through VEXFileGet (so from the pending bit
   position); bytes past the end of the file read as 0. */
VEX_API uint32_t VEXFileGet8(VEXFILE *f);
VEX_API uint32_t VEXFileGet16(VEXFILE *f);
VEX_API uint32_t VEXFileGet32(VEXFILE *f);
/* A field of bits (1..32; larger counts are taken modulo 32, 0 reads
   nothing and gives 0), least significant bit first; bits past the end of
   the file read as 0 and end any pending partial byte, so VEXFileAtEnd
   then answers 1. */
VEX_API uint32_t VEXFileGetBits(VEXFILE *f, uint32_t bits);

/* Writing. VEXFilePutNB writes n raw bytes at the current byte position
   and ignores pending bits (they stay pending, to be completed by later
   puts); VEXFilePut shifts every byte up by the pending bits, as n 8-bit
   VEXFilePutBits calls would. Both return the bytes the system accepted
   (or the buffer took); a short write sets write_error for good. A closed
   or null handle gives 0. */
VEX_API uint32_t VEXFilePutNB(VEXFILE *f, const void *src, uint32_t n);
VEX_API uint32_t VEXFilePut(VEXFILE *f, const void *src, uint32_t n);
/* Little-endian values through VEXFilePut; each returns v. */
VEX_API uint32_t VEXFilePut8(VEXFILE *f, uint32_t v);
VEX_API uint32_t VEXFilePut16(VEXFILE *f, uint32_t v);
VEX_API uint32_t VEXFilePut32(VEXFILE *f, uint32_t v);
/* The low `bits` (1..32, modulo 32; 0 writes nothing) of v, least
   significant first. Returns v shifted down by the whole bytes the field
   completed below its last partial byte (v itself for multiples of 8). */
VEX_API uint32_t VEXFilePutBits(VEXFILE *f, uint32_t v, uint32_t bits);

/* Positions. A written partial byte is completed with 0 bits and written;
   a partly read byte is passed over. */
VEX_API void VEXFileByteAlign(VEXFILE *f);
/* Byte-aligns, then moves on to the next multiple of `multiple` (0 or 1:
   only byte-aligns), writing 0 bytes where that lies past the end. */
VEX_API void VEXFileAlign(VEXFILE *f, uint32_t multiple);
/* Byte-aligns and writes out the buffer; commit nonzero also asks the
   system to put the data on the storage (fsync). */
VEX_API void VEXFileFlush(VEXFILE *f, int32_t commit);
/* The current byte position; a partly read byte counts as not yet read.
   0 for a closed or null handle. */
VEX_API uint32_t VEXFileGetPos(VEXFILE *f);
/* Moves to byte position pos (pending bits are dropped; a written partial
   byte is flushed first) and returns the position before the move. A
   position inside the read buffer costs no system call. */
VEX_API uint32_t VEXFileSetPos(VEXFILE *f, uint32_t pos);
/* Size in bytes, written-but-buffered bytes included. */
VEX_API uint32_t VEXFileSize(VEXFILE *f);
/* 1 at or past the end of the file (and for a closed handle), else 0. */
VEX_API int32_t VEXFileAtEnd(VEXFILE *f);
/* 1 when byte position pos lies in the unread part of the read buffer. */
VEX_API int32_t VEXFileIsInBuffer(VEXFILE *f, uint32_t pos);
/* Bits of the current byte already read, or written and pending (0..7). */
VEX_API uint32_t VEXFileBitPos(VEXFILE *f);
/* The name the file was opened with, copied to dest when dest is not null
   (VEXFILE_NAME_SIZE bytes are always enough); returns the record's own
   copy, or null for a closed handle. */
VEX_API char *VEXFileGetName(VEXFILE *f, char *dest);
/* Reads one line into buf (size bytes, terminator included): up to and
   without its "\n" or "\r\n", or size - 1 characters. Returns buf, empty
   at the end of the file. */
VEX_API char *VEXFileGetLine(VEXFILE *f, char *buf, int32_t size);

/* Upper 32 bits of the last-write time in 100 ns units since 1601-01-01
   (a resolution of about 429.5 s). Linux keeps no settable creation time,
   so VEXFileSetTime sets the access and modification times. */
VEX_API uint32_t VEXFileGetTime(VEXFILE *f);
VEX_API void VEXFileSetTime(VEXFILE *f, uint32_t t);

/* 0 done, 1 no such file, 2 any other failure. VEXFileRename never
   replaces an existing file (that is a failure) and moves a file to
   another file system by copying it and erasing the original. */
VEX_API int32_t VEXFileErase(const char *name);
VEX_API int32_t VEXFileRename(const char *new_name, const char *old_name);
/* Outputs written whole or not at all. The output is written under a
   temporary name in the folder of its final name and renamed over the
   final name once it is complete, so that the final name never shows a
   half-written file: not after a failure, a cancel or a killed process
   (which leaves only the hidden temporary behind). The rename stays within
   one folder, so the system makes it atomic. Every output of the output
   writer (vexutil/ogfile.h) is written this way.

   VEXFileReserveTemporary creates an empty file ".vxXXXXXX" (six letters
   or digits, new on every call; created exclusively, so two writers never
   share one) in the folder of final_name (what comes before its last '/';
   the current folder when there is none), with the permissions a new file
   gets (0666 less the umask), and copies its name, in the same folder
   notation, to dest, which holds dest_size bytes: strlen(final_name) + 10
   always suffice. Returns 1; or 0 with dest "" (when dest_size > 0) and the
   reason in VEXLastError() when the folder cannot take a file, or dest is
   too small or null, or final_name null or "" (nothing is created then).
   The caller writes the output under the temporary name with any writer
   that takes a name (VEXFileCreate truncates the empty file), closes it and
   then commits or abandons it. */
VEX_API int32_t VEXFileReserveTemporary(const char *final_name, char *dest, uint32_t dest_size);
/* Renames the finished temporary to final_name, replacing a file of that
   name (unlike VEXFileRename). 1 done; 0 with the reason in VEXLastError()
   when the rename fails (final_name names a folder, or a file system
   other than the temporary's, ...); the temporary is removed then. */
VEX_API int32_t VEXFileCommitTemporary(const char *temporary, const char *final_name);
/* Removes an abandoned temporary (null, "" or a name that is gone are
   ignored). */
VEX_API void VEXFileAbandonTemporary(const char *temporary);

/* Appends text (no line end added) to a log file, creating it if needed. */
VEX_API void LogString(const char *name, const char *text);

VEX_EXTERN_C_END

#endif
