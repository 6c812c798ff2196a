// Cost of one pass-or-discard decision over a realistic mix of events: mostly pointer moves,
// some button and wheel traffic, a share of simulated input.
#include "HookDecision.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

namespace {

struct MouseEvent {
    std::uintptr_t message;
    std::uint32_t flags;
    std::uintptr_t extraInfo = 0;
};

constexpr std::array<MouseEvent, 16> kMouseMix = {{
    {0x200, 0},
    {0x200, 0},
    {0x200, 0},
    {0x200, 0},
    {0x200, 0},
    {0x200, 0},
    {0x200, 1},
    {0x201, 0},
    {0x202, 0},
    {0x200, 0},
    {0x20A, 0},
    {0x204, 0},
    {0x205, 0},
    {0x20E, 0},
    {0x200, 0},
    {0x201, 1, 0xFF515780}, // a touch tap, flagged injected
}};

constexpr std::array<std::uint32_t, 8> kKeyFlags = {0x00, 0x80, 0x00, 0x80, 0x10, 0x90, 0x01, 0x81};

void BM_ShouldPassMouseEvent(benchmark::State& state) {
    const auto filter = static_cast<std::uint16_t>(state.range(0));
    std::int32_t passInjected = 1;
    std::size_t i = 0;
    for (auto _ : state) {
        const MouseEvent& e = kMouseMix[i++ & (kMouseMix.size() - 1)];
        benchmark::DoNotOptimize(passInjected);
        bool pass = ShouldPassMouseEvent(filter, passInjected, e.message, e.flags, e.extraInfo);
        benchmark::DoNotOptimize(pass);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ShouldPassMouseEvent)->Arg(0x01)->Arg(0x1F)->Arg(0x20);

void BM_ShouldPassKeyboardEvent(benchmark::State& state) {
    std::int32_t passInjected = 1;
    int nCode = 0;
    std::size_t i = 0;
    for (auto _ : state) {
        const std::uint32_t flags = kKeyFlags[i++ & (kKeyFlags.size() - 1)];
        benchmark::DoNotOptimize(passInjected);
        benchmark::DoNotOptimize(nCode);
        bool pass = ShouldPassKeyboardEvent(passInjected, nCode, flags);
        benchmark::DoNotOptimize(pass);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ShouldPassKeyboardEvent);

} // namespace
