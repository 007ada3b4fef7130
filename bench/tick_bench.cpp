// The cost of one watch tick (Form1::Timer2_Timer) while the watched program runs and no
// key pulse is due. Twice: against the recording test platform, and against a lean one
// that answers the tick's two system calls with constants, to show the fake's own share.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "app/form1.h"
#include "tests/fake_platform.h"

namespace {

using czuwajnik::Form1;
using czuwajnik::Handle;
using czuwajnik::test::FakePlatform;

constexpr float kNoPulseDue = 36001.25f;  // 10:00:01.25, one second past a 180 s boundary

class LeanPlatform : public FakePlatform {
public:
    std::optional<bool> hasEnded(Handle) override { return false; }
    float timeOfDay() override { return kNoPulseDue; }
};

template <typename P>
void WatchTick(benchmark::State& state) {
    P platform;
    platform.files[platform.cwd + L"ustawienia.dat"] = "\"C:\\Gry\\gra.exe\"\r\n#TRUE#\r\n";
    platform.runs = 1 << 30;
    platform.clock = {kNoPulseDue};
    Form1 form(platform);
    // Auto-run: the load arms the start timer, whose tick starts the program and the watch.
    form.Form_Load();
    form.Timer1_Timer();
    if (std::count(platform.log.begin(), platform.log.end(), L"Timer2 200") != 1)
        return state.SkipWithError("the watch did not start");
    const std::size_t calls = platform.log.size();

    for (auto _ : state) form.Timer2_Timer();

    // A quiet tick reaches no recorded call: no key, no close, no settings write.
    if (platform.log.size() != calls) state.SkipWithError("a tick did more than read the status and the clock");
}

}  // namespace

BENCHMARK_TEMPLATE(WatchTick, FakePlatform)->Name("watch_tick/fake_platform");
BENCHMARK_TEMPLATE(WatchTick, LeanPlatform)->Name("watch_tick/lean_platform");
BENCHMARK_MAIN();
