// Benchmark builds of Helper.dll only: the cycle counter read around the mouse procedure's
// watchdog's mark, around the decision and around its whole body, kept in a fixed table (no
// allocation on the hot path) and read out through one extra export. Never part of the shipped
// library.
#pragma once

#include <windows.h>
#include <intrin.h>

#include <cstddef>

struct HookTimingLog {
    static constexpr std::size_t kCapacity = 1u << 16;
    unsigned long long marked[kCapacity]; // to just after the watchdog's mark of the event
    unsigned long long empty[kCapacity];  // two reads back to back: the counter's own floor
    unsigned long long decided[kCapacity];
    unsigned long long whole[kCapacity];
    std::size_t count;
    // Cycle counter and performance counter at the first and the last event, to turn cycles
    // into nanoseconds.
    unsigned long long firstCycles, lastCycles;
    long long firstCounter, lastCounter;
};

#ifdef QUELVANT_HOOK_TIMING
inline HookTimingLog g_hookTiming{};
// Plain globals: the procedure runs on one thread, and emulated TLS would cost a call.
inline unsigned long long t_hookStart = 0;
inline unsigned long long t_hookMarked = 0;
inline unsigned long long t_hookDecided = 0;

inline void HookTimingEnd() noexcept {
    const unsigned long long end = __rdtsc();
    HookTimingLog& log = g_hookTiming;
    if (log.count < HookTimingLog::kCapacity) {
        LARGE_INTEGER counter;
        QueryPerformanceCounter(&counter);
        if (log.count == 0) {
            log.firstCycles = end;
            log.firstCounter = counter.QuadPart;
        }
        log.lastCycles = end;
        log.lastCounter = counter.QuadPart;
        const unsigned long long first = __rdtsc();
        log.empty[log.count] = __rdtsc() - first;
        log.marked[log.count] = t_hookMarked - t_hookStart;
        log.decided[log.count] = t_hookDecided - t_hookStart;
        log.whole[log.count] = end - t_hookStart;
        ++log.count;
    }
}

#define HOOK_TIMING_BEGIN() t_hookStart = __rdtsc()
#define HOOK_TIMING_MARKED() t_hookMarked = __rdtsc()
#define HOOK_TIMING_DECIDED() t_hookDecided = __rdtsc()
#define HOOK_TIMING_END() HookTimingEnd()

// Hands out the log; the benchmark host reads it after the events went through.
extern "C" __declspec(dllexport) const HookTimingLog* HookTimingRead() noexcept {
    return &g_hookTiming;
}
#endif
