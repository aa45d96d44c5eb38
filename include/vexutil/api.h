/* Declaration helpers shared by every vexutil header. */
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
