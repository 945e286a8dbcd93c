// The entry points of libQuenvaraMFWma.so, the WMA decoder module the music
// filter library loads by file name. Both sides include this header.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// The buffer L_OrvaneWmaReadSamples fills; it never writes more.
#define QUENVARA_WMA_SAMPLE_BUFFER 137632
// The format tag of WMA version 2, the only kind the fingerprint uses.
#define QUENVARA_WMA_V2_TAG 0x0161

// The record L_OrvaneWmaGetWaveFormat fills (16 bytes, little-endian):
// offset 0 bit rate in kbit/s, 4 sample rate in Hz, 8 channels, 12 format tag.
#define QUENVARA_WMA_FORMAT_RECORD 16

typedef int32_t (*L_OrvaneWmaInit_t)(void);
typedef int32_t (*L_OrvaneWmaSetParams_t)(int32_t handle, int32_t startMs, int32_t endMs,
                                          int32_t reserved1, int32_t reserved2, int32_t reserved3,
                                          int32_t reserved4);
typedef int32_t (*L_OrvaneWmaOpenMemory_t)(int32_t handle, const void* data, uint64_t length);
typedef void (*L_OrvaneWmaGetWaveFormat_t)(int32_t handle, void* record);
typedef int32_t (*L_OrvaneWmaReadSamplesInit_t)(int32_t handle);
typedef int32_t (*L_OrvaneWmaReadSamples_t)(int32_t handle, void* buffer);
typedef void (*L_OrvaneWmaClose_t)(int32_t handle);
typedef void (*L_OrvaneWmaRelease_t)(int32_t handle);
typedef int32_t (*L_OrvaneWmaGetTotalPlayTime_t)(int32_t handle);

// Returns a handle greater than 0, or 0 when none is free.
int32_t L_OrvaneWmaInit(void);
// The excerpt to decode, start and end in milliseconds; the last four
// arguments are accepted and not used. Non-zero on success.
int32_t L_OrvaneWmaSetParams(int32_t handle, int32_t startMs, int32_t endMs, int32_t reserved1,
                             int32_t reserved2, int32_t reserved3, int32_t reserved4);
// Opens the file held in memory (kept by the caller until Close). Non-zero on
// success; a stream the module cannot decode still opens, so its format tag
// can be read.
int32_t L_OrvaneWmaOpenMemory(int32_t handle, const void* data, uint64_t length);
void L_OrvaneWmaGetWaveFormat(int32_t handle, void* record);
// Positions the decoder at the start time. Non-zero on success.
int32_t L_OrvaneWmaReadSamplesInit(int32_t handle);
// Interleaved signed 16-bit PCM up to the end time; returns the bytes
// written (at most QUENVARA_WMA_SAMPLE_BUFFER), 0 at the end, -1 on error.
int32_t L_OrvaneWmaReadSamples(int32_t handle, void* buffer);
void L_OrvaneWmaClose(int32_t handle);
void L_OrvaneWmaRelease(int32_t handle);
// The stream's length in milliseconds, 0 when unknown.
int32_t L_OrvaneWmaGetTotalPlayTime(int32_t handle);

#ifdef __cplusplus
}
#endif
