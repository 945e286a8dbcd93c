// The music filter library's interface: its three exports and the layout of
// the 548-byte result block. The library, the uploader's binding and the
// test stand-ins all include this header.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
// The caller's result block, allocated and zeroed by the caller.
namespace quenvara::music_result {
inline constexpr size_t kSize = 548;
inline constexpr size_t kKey = 0;  // 32 bytes of content key, no terminator
inline constexpr size_t kKeySize = 32;
inline constexpr size_t kStatus = 32;  // 2 bytes of status ("02", "03", ...)
inline constexpr size_t kStatusSize = 2;
inline constexpr size_t kText1 = 34;  // status texts of a "DN" query
inline constexpr size_t kText1Size = 200;
inline constexpr size_t kText2 = 234;
inline constexpr size_t kText2Size = 150;
inline constexpr size_t kText3 = 384;
inline constexpr size_t kText3Size = 150;
inline constexpr size_t kText1Length = 536;  // int32 lengths of the three texts
inline constexpr size_t kText2Length = 540;
inline constexpr size_t kText3Length = 544;
}  // namespace quenvara::music_result
#endif

// The music filter library's exports. On 32-bit Windows they use the stdcall
// convention (the callee cleans its three arguments); here the macro is empty.
#if defined(_WIN32) && !defined(_WIN64)
#define QUENVARA_MF_CALL __stdcall
#else
#define QUENVARA_MF_CALL
#endif

#if defined(_WIN32)
// The library's .def file names the exports, undecorated.
#define QUENVARA_MF_EXPORT
#else
#define QUENVARA_MF_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

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
QUENVARA_MF_EXPORT int QUENVARA_MF_CALL L_OrvaneMusicIsWMA(void);

// The same entry points as the binding looks them up.
typedef int(QUENVARA_MF_CALL* L_OrvaneMusicCheck_t)(void* result, const char* text,
                                                    const char* userId);
typedef int(QUENVARA_MF_CALL* L_OrvaneMusicIsWMA_t)(void);

#ifdef __cplusplus
}
#endif
