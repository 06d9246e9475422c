/* DMX output plug-in pvm_dmx.so: the four entries the console program may bind
 * by name, and their function types. */
#ifndef PVM_DMX_H
#define PVM_DMX_H

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Probes and opens the USB DMX interface; returns its status text (UTF-8,
 * NUL-terminated), valid until the next call. */
typedef const char* (*TPvmGetInterface)(void);
/* Copies levels[0..min(last, 511)] into the frame and sends the whole 512-slot
 * frame; true when the driver reports 512 bytes sent. */
typedef bool (*TPvmSetLevel)(const uint8_t* levels, int32_t last);
/* Closes the interface; the driver's close result. */
typedef int32_t (*TPvmCloseInterface)(void);
/* The number of DMX slots in a frame: 512. */
typedef int32_t (*TPvmGetMaxChannels)(void);

#define PVM_DMX_API __attribute__((visibility("default")))
#ifdef __cplusplus
#define PVM_DMX_NOEXCEPT noexcept
#else
#define PVM_DMX_NOEXCEPT
#endif

PVM_DMX_API const char* GetInterface(void) PVM_DMX_NOEXCEPT;
PVM_DMX_API bool SetLevel(const uint8_t* levels, int32_t last) PVM_DMX_NOEXCEPT;
PVM_DMX_API int32_t CloseInterface(void) PVM_DMX_NOEXCEPT;
PVM_DMX_API int32_t GetMaxChannels(void) PVM_DMX_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* PVM_DMX_H */
