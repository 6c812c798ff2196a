// The start-up's time line, for finding where start-up time goes: with the environment variable
// QUELVANT_STARTUP_TRACE naming a file, each step's end (µs since the process was created) and
// its own cost are written there once the window is first painted. Without it, every call is
// one test of a flag; a release user never sets it.
#pragma once

#include <windows.h>

#include <cstdio>

namespace startup_trace {

struct Step {
    const char* name;
    LONGLONG at; // performance counter
};

struct State {
    bool checked = false;
    bool on = false;
    bool written = false;
    LONGLONG frequency = 1;
    ULONGLONG createdUs = 0; // the process's creation, µs since 1601
    ULONGLONG firstMarkUs = 0;
    LONGLONG firstMark = 0;
    Step steps[48]{};
    int count = 0;
    wchar_t path[MAX_PATH]{};
};

inline State& Get() noexcept {
    static State state;
    return state;
}

inline ULONGLONG Microseconds(const FILETIME& time) noexcept {
    return ((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 10;
}

inline bool On() noexcept {
    State& state = Get();
    if (!state.checked) {
        state.checked = true;
        const DWORD length =
            ::GetEnvironmentVariableW(L"QUELVANT_STARTUP_TRACE", state.path, MAX_PATH);
        state.on = length > 0 && length < MAX_PATH;
        if (state.on) {
            LARGE_INTEGER value;
            ::QueryPerformanceFrequency(&value);
            state.frequency = value.QuadPart;
            FILETIME created, exited, kernel, user, now;
            ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
            ::GetSystemTimePreciseAsFileTime(&now);
            ::QueryPerformanceCounter(&value);
            state.createdUs = Microseconds(created);
            state.firstMarkUs = Microseconds(now);
            state.firstMark = value.QuadPart;
        }
    }
    return state.on;
}

// The step that ends now; name must be a literal.
inline void Mark(const char* name) noexcept {
    if (!On()) {
        return;
    }
    State& state = Get();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    if (state.count < static_cast<int>(sizeof state.steps / sizeof state.steps[0])) {
        state.steps[state.count++] = {name, now.QuadPart};
    }
}

// Writes the time line once: at the first paint.
inline void Write() noexcept {
    if (!On() || Get().written) {
        return;
    }
    Mark("first paint");
    State& state = Get();
    state.written = true;
    FILE* file = _wfopen(state.path, L"w");
    if (file == nullptr) {
        return;
    }
    const auto us = [&state](LONGLONG ticks) {
        return static_cast<long long>(ticks * 1000000 / state.frequency);
    };
    const long long before = static_cast<long long>(state.firstMarkUs - state.createdUs);
    std::fprintf(file, "step\tend_us\tcost_us\nprocess start to first step\t%lld\t%lld\n", before,
                 before);
    LONGLONG previous = state.firstMark;
    for (int i = 0; i < state.count; ++i) {
        const Step& step = state.steps[i];
        std::fprintf(file, "%s\t%lld\t%lld\n", step.name, before + us(step.at - state.firstMark),
                     us(step.at - previous));
        previous = step.at;
    }
    std::fclose(file);
}

} // namespace startup_trace
