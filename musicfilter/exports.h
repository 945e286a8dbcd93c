#pragma once

// The music filter library's exports. On 32-bit Windows they use the stdcall
// convention (the callee cleans its three arguments); here the macro is empty.
#if defined(_WIN32) && !defined(_WIN64)
#define QUENVARA_MF_CALL __stdcall
#else
#define QUENVARA_MF_CALL
#endif

#if defined(_WIN32)
#define QUENVARA_MF_EXPORT __declspec(dllexport)
#else
#define QUENVARA_MF_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

// Checks a music file: 0 with the content key in the first 32 bytes of the
// 548-byte result; 1 refused or unreachable service; 2 unreadable file;
// 3 not a music file; 99 no result block, or no WMA decoder for a WMA file.
QUENVARA_MF_EXPORT int QUENVARA_MF_CALL L_OrvaneMusicUpload(void* result, const char* filePath,
                                                            const char* userId);

// Asks the service about a key: 1 when it refused or could not be reached,
// 0 otherwise; the status and three texts are in the caller's result block.
QUENVARA_MF_EXPORT int QUENVARA_MF_CALL L_OrvaneMusicDownload(void* result, const char* contentKey,
                                                              const char* userId);

// 0 when the WMA decoder module loads with its nine entry points, else 1.
QUENVARA_MF_EXPORT int QUENVARA_MF_CALL L_OrvaneMusicIsWMA();
}
