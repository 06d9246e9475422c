/* libmediadec: decodes compressed audio (and anything else FFmpeg opens) from a
 * byte source the caller reads and seeks through two callbacks.
 *
 * Order of use: ac_mem_mgr once at start-up, then per file ac_init, ac_open,
 * ac_get_stream_info for each stream, ac_create_decoder for an audio stream,
 * then ac_read_package / ac_decode_package / ac_free_package in a loop (with
 * ac_seek between packages), and at the end ac_free_decoder and ac_free.
 * One instance is used by one thread at a time; different instances are
 * independent.
 *
 * Decoded audio is interleaved: 16-bit signed integers (bits_per_sample 16)
 * when the source is integer PCM of at most 16 bits, otherwise 32-bit floats
 * (bits_per_sample 32) in the range -1..1. */
#ifndef MEDIADEC_H
#define MEDIADEC_H

#include <stddef.h>
#include <stdint.h>

#define AC_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

/* Stream types of ac_stream_info.stream_type. */
enum {
    AC_STREAM_UNKNOWN = 0,
    AC_STREAM_AUDIO = 1,
    AC_STREAM_VIDEO = 2,
    AC_STREAM_SUBTITLE = 3,
    AC_STREAM_DATA = 4
};

typedef struct ac_instance {
    uint8_t opened;        /* nonzero after a successful ac_open */
    int32_t stream_count;  /* streams of the opened file; 0 when ac_open failed */
    int64_t duration_ms;   /* length of the file in milliseconds, -1 unknown */
    void* priv;
} ac_instance;

typedef struct ac_stream_info {
    uint8_t stream_type;   /* AC_STREAM_... */
} ac_stream_info;

typedef struct ac_decoder {
    double timecode;             /* seconds from the start of the stream to the first sample in buffer */
    int32_t samples_per_second;
    int32_t bits_per_sample;     /* 16 (signed integer) or 32 (float) */
    int32_t channels;
    int32_t stream_index;
    void* buffer;                /* decoded audio of the last ac_decode_package */
    int32_t buffer_size;         /* bytes in buffer */
    ac_instance* instance;
    void* priv;
} ac_decoder;

typedef struct ac_package {
    int32_t stream_index;
    void* priv;
} ac_package;

typedef void* (*ac_alloc_fn)(size_t size);
typedef void* (*ac_realloc_fn)(void* ptr, size_t size);
typedef void (*ac_free_fn)(void* ptr);

/* Reads up to size bytes into buffer; the bytes read, 0 at the end. */
typedef int32_t (*ac_read_fn)(void* sender, void* buffer, int32_t size);
/* Moves to position relative to whence (0 start, 1 current, 2 end); the new
 * position, or -1 on failure. */
typedef int64_t (*ac_seek_fn)(void* sender, int64_t position, int32_t whence);
/* Open and close hooks of the source; pass NULL (they are not called). */
typedef int32_t (*ac_open_fn)(void* sender);
typedef void (*ac_close_fn)(void* sender);

/* Sets the functions the library allocates its records and buffers with
 * (default malloc, realloc, free). Call before any other function. */
AC_API void ac_mem_mgr(ac_alloc_fn alloc, ac_realloc_fn realloc, ac_free_fn free);

/* A new, unopened instance; NULL when out of memory. */
AC_API ac_instance* ac_init(void);

/* Opens the source read through read (and seek, NULL when the source cannot
 * seek). 1 when it holds at least one audio stream, else 0 with opened 0 and
 * stream_count 0. Audio-CD track files ("RIFF" .... "CDDA") are refused. */
AC_API int32_t ac_open(ac_instance* inst, void* sender, ac_open_fn open, ac_read_fn read, ac_seek_fn seek,
                       ac_close_fn close);

/* Fills info for stream index; 1 on success, 0 for a bad index. */
AC_API int32_t ac_get_stream_info(ac_instance* inst, int32_t index, ac_stream_info* info);

/* A decoder for stream index, or NULL when it is no audio stream or cannot be
 * decoded. One decoder per instance: the other streams are skipped from now on. */
AC_API ac_decoder* ac_create_decoder(ac_instance* inst, int32_t index);

/* The next package of the file, or NULL at the end. After the last package of
 * the file one empty package for the decoder's stream follows, which makes the
 * decoder hand out the audio it still holds. */
AC_API ac_package* ac_read_package(ac_instance* inst);

/* Decodes pkg with dec; the bytes of decoded audio now in dec->buffer, 0 when
 * the package gave none (another stream's package, a damaged package). */
AC_API int32_t ac_decode_package(ac_package* pkg, ac_decoder* dec);

AC_API void ac_free_package(ac_package* pkg);

/* Moves dec's file so that the next decoded audio starts at target_ms exactly
 * (as far as the format's timestamps allow). direction (0 forward, -1 back) is
 * a hint only. 1 on success, 0 when the source cannot seek there. */
AC_API int32_t ac_seek(ac_decoder* dec, int32_t direction, int64_t target_ms);

AC_API void ac_free_decoder(ac_decoder* dec);
AC_API void ac_free(ac_instance* inst);

#ifdef __cplusplus
}
#endif

#endif /* MEDIADEC_H */
