/* USB DMX driver library: the four entries the output plug-in imports.
 *
 * The device is chosen by the environment variable USBIO_DEVICE, read when
 * USBIO_GetDeviceCount and USBIO_OpenDevice run:
 *   unset or empty      no device
 *   artnet:HOST[:PORT]  one device sending each frame as an Art-Net ArtDmx
 *                       packet (universe 0) over UDP, port 6454 by default
 *   file:PATH           one device appending each frame's bytes to PATH
 * One device can be open at a time; its handle is 1, and 0 means failure. */
#ifndef USBIO_H
#define USBIO_H

#include <stdint.h>

#define USBIO_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

/* Number of attached devices whose id matches (ASCII case-insensitively). */
USBIO_API int32_t USBIO_GetDeviceCount(const char* id);
/* Opens the index-th matching device; its handle, or 0 on failure. */
USBIO_API int32_t USBIO_OpenDevice(int32_t index, const char* id);
/* Sends one frame of length bytes; the number of bytes sent, 0 on failure. */
USBIO_API int32_t USBIO_SendDmx(int32_t handle, const uint8_t* data, int32_t length);
/* Closes the device; 1 for the open handle, 0 otherwise. */
USBIO_API int32_t USBIO_CloseDevice(int32_t handle);

#ifdef __cplusplus
}
#endif

#endif /* USBIO_H */
