/* The buffered, bit-addressable file under every reader and writer:
   one buffer, one cursor for reading and writing, little-endian values,
   bit fields packed least significant bit first. Positions and sizes are
   32-bit byte offsets (files up to 4 GiB). */
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

VEX_API VEXFILE *VEXFileOpen(int32_t buffer_size, const char *name, int32_t mode);
VEX_API VEXFILE *VEXFileCreate(int32_t buffer_size, const char *name);
VEX_API VEXFILE *VEXFileCreateWithRead(int32_t buffer_size, const char *name);
VEX_API void VEXFileClose(VEXFILE *f);

VEX_API uint32_t VEXFileGetNB(VEXFILE *f, void *dest, uint32_t n);
VEX_API uint32_t VEXFileGet(VEXFILE *f, void *dest, uint32_t n);
VEX_API uint32_t VEXFileGet8(VEXFILE *f);
VEX_API uint32_t VEXFileGet16(VEXFILE *f);
VEX_API uint32_t VEXFileGet32(VEXFILE *f);
VEX_API uint32_t VEXFileGetBits(VEXFILE *f, uint32_t bits);

VEX_API uint32_t VEXFilePutNB(VEXFILE *f, const void *src, uint32_t n);
VEX_API uint32_t VEXFilePut(VEXFILE *f, const void *src, uint32_t n);
VEX_API uint32_t VEXFilePut8(VEXFILE *f, uint32_t v);
VEX_API uint32_t VEXFilePut16(VEXFILE *f, uint32_t v);
VEX_API uint32_t VEXFilePut32(VEXFILE *f, uint32_t v);
VEX_API uint32_t VEXFilePutBits(VEXFILE *f, uint32_t v, uint32_t bits);

VEX_API void VEXFileByteAlign(VEXFILE *f);
VEX_API void VEXFileAlign(VEXFILE *f, uint32_t multiple);
VEX_API void VEXFileFlush(VEXFILE *f, int32_t commit);
VEX_API uint32_t VEXFileGetPos(VEXFILE *f);
VEX_API uint32_t VEXFileSetPos(VEXFILE *f, uint32_t pos);
VEX_API uint32_t VEXFileSize(VEXFILE *f);
VEX_API int32_t VEXFileAtEnd(VEXFILE *f);
VEX_API int32_t VEXFileIsInBuffer(VEXFILE *f, uint32_t pos);
VEX_API uint32_t VEXFileBitPos(VEXFILE *f);
VEX_API char *VEXFileGetName(VEXFILE *f, char *dest);
VEX_API char *VEXFileGetLine(VEXFILE *f, char *buf, int32_t size);

/* Upper 32 bits of the last-write time in 100 ns units since 1601-01-01
   (a resolution of about 429.5 s). Linux keeps no settable creation time,
   so VEXFileSetTime sets the access and modification times. */
VEX_API uint32_t VEXFileGetTime(VEXFILE *f);
VEX_API void VEXFileSetTime(VEXFILE *f, uint32_t t);

/* 0 done, 1 no such file, 2 any other failure. */
VEX_API int32_t VEXFileErase(const char *name);
VEX_API int32_t VEXFileRename(const char *new_name, const char *old_name);
/* Appends text (no line end added) to a log file, creating it if needed. */
VEX_API void LogString(const char *name, const char *text);

VEX_EXTERN_C_END

#endif
