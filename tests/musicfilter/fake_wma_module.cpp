// Stand-ins of the WMA decoder module for the binding's tests. Built twice:
// complete, and without the play-time entry point (the one never called).
#include "quenvara/wma_module.h"

extern "C" {

int32_t L_OrvaneWmaInit(void) {
    return 1;
}
int32_t L_OrvaneWmaSetParams(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {
    return 1;
}
int32_t L_OrvaneWmaOpenMemory(int32_t, const void*, uint64_t) {
    return 1;
}
void L_OrvaneWmaGetWaveFormat(int32_t, void*) {}
int32_t L_OrvaneWmaReadSamplesInit(int32_t) {
    return 1;
}
int32_t L_OrvaneWmaReadSamples(int32_t, void*) {
    return 0;
}
void L_OrvaneWmaClose(int32_t) {}
void L_OrvaneWmaRelease(int32_t) {}
#ifndef WITHOUT_PLAY_TIME
int32_t L_OrvaneWmaGetTotalPlayTime(int32_t) {
    return 0;
}
#endif
}
