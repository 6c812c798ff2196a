// Benchmark host: loads the timed build of Helper.dll, blocks nothing but keeps the mouse hook
// in force (a word that names no event), pumps messages while the events come, and on "report"
// prints how long the procedure took per event.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "HookTimingLog.h"

namespace {
DWORD g_mainThread = 0;
constexpr UINT kReport = WM_APP + 1;

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const auto index = static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}
} // namespace

int main(int argc, char** argv) {
    const unsigned filter =
        argc > 1 ? static_cast<unsigned>(std::stoul(argv[1], nullptr, 16)) : 0x20;
    g_mainThread = GetCurrentThreadId();
    const HMODULE helper = LoadLibraryW(L"Helper.dll");
    if (helper == nullptr) {
        std::printf("error cannot load Helper.dll\n");
        return 1;
    }
    using MouseFn = int (*)(WORD, DWORD&, BOOL);
    using ReadFn = const HookTimingLog* (*)();
    const auto mouse = reinterpret_cast<MouseFn>(
        reinterpret_cast<void*>(GetProcAddress(helper, "_Z18GlobalDisableMousetRmi")));
    const auto read =
        reinterpret_cast<ReadFn>(reinterpret_cast<void*>(GetProcAddress(helper, "HookTimingRead")));
    if (mouse == nullptr || read == nullptr) {
        std::printf("error not a timed build\n");
        return 1;
    }
    DWORD error = 0;
    if (mouse(static_cast<WORD>(filter), error, FALSE) != 1) {
        std::printf("error hook not installed (%lu)\n", error);
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    std::thread([] {
        std::string line;
        while (std::getline(std::cin, line)) {
            if (line.rfind("report", 0) == 0) {
                PostThreadMessageW(g_mainThread, kReport, 0, 0);
            }
        }
        PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0);
    }).detach();

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message != kReport) {
            continue;
        }
        const HookTimingLog* log = read();
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        const double seconds = static_cast<double>(log->lastCounter - log->firstCounter) /
                               static_cast<double>(frequency.QuadPart);
        const double cyclesPerNs =
            seconds > 0 ? static_cast<double>(log->lastCycles - log->firstCycles) / (seconds * 1e9)
                        : 0;
        std::vector<double> marked, empty, decided, whole;
        for (size_t i = 0; i < log->count && cyclesPerNs > 0; ++i) {
            marked.push_back(static_cast<double>(log->marked[i]) / cyclesPerNs);
            empty.push_back(static_cast<double>(log->empty[i]) / cyclesPerNs);
            decided.push_back(static_cast<double>(log->decided[i]) / cyclesPerNs);
            whole.push_back(static_cast<double>(log->whole[i]) / cyclesPerNs);
        }
        std::printf("events=%zu ghz=%.3f marked_median_ns=%.1f marked_p99_ns=%.1f "
                    "empty_median_ns=%.1f empty_p99_ns=%.1f decided_median_ns=%.1f "
                    "decided_p99_ns=%.1f whole_median_ns=%.1f whole_p99_ns=%.1f\n",
                    log->count, cyclesPerNs, Percentile(marked, 0.5), Percentile(marked, 0.99),
                    Percentile(empty, 0.5), Percentile(empty, 0.99), Percentile(decided, 0.5),
                    Percentile(decided, 0.99), Percentile(whole, 0.5), Percentile(whole, 0.99));
        std::fflush(stdout);
    }
    mouse(0, error, FALSE);
    FreeLibrary(helper);
    return 0;
}
