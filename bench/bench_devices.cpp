// Loading a large DEVICE table and looking devices up by hardware address.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "Core/ConfigStore/ConfigStore.h"
#include "Core/DeviceList/DeviceList.h"

namespace {

constexpr int deviceCount = 100000;

THWAddr NthAddr(int n) {
    return THWAddr{0x00,
                   0x1A,
                   0x2B,
                   static_cast<std::uint8_t>(n >> 16),
                   static_cast<std::uint8_t>(n >> 8),
                   static_cast<std::uint8_t>(n)};
}

// A database file of deviceCount devices in a temporary folder, removed at the end.
class TBenchDatabase {
public:
    TBenchDatabase() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarrowin-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a temporary folder");
        dir_ = pattern;
        SetConfigStorePath(dir_ / "bench.DB");
        Fill();
    }
    ~TBenchDatabase() {
        ResetDeviceList();
        SetConfigStorePath({});
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

private:
    static void Fill() {
        TConfigStore& db = ConfigStore();
        auto insertRows = [&] {
            for (int n = 0; n < deviceCount; ++n) {
                db.ParamAsString("HWADDR", HWAddrToStr(NthAddr(n), ':'));
                db.ParamAsBoolean("KNOWN", n % 3 == 0);
                db.ParamAsString("INFO", "device " + std::to_string(n));
                db.ParamAsDateTime("LAST_SEEN", 45000.5 + n / 1000.0);
                db.ExecPrepared();
            }
        };
        db.InTransaction([&] { db.WithStatement(insertSql, insertRows); });
    }

    static constexpr const char* insertSql =
        "INSERT INTO DEVICE (HWADDR, KNOWN, INFO, LAST_SEEN) VALUES (:HWADDR, :KNOWN, :INFO, :LAST_SEEN)";

    std::filesystem::path dir_;
};

void BM_LoadDevices(benchmark::State& state) {
    TBenchDatabase database;
    for (auto _ : state) {
        state.PauseTiming();
        ResetDeviceList();
        state.ResumeTiming();
        DeviceList().Load();
        benchmark::DoNotOptimize(DeviceList().Count());
    }
    state.SetItemsProcessed(state.iterations() * deviceCount);
}
BENCHMARK(BM_LoadDevices)->Unit(benchmark::kMillisecond);

// Every call adds: an empty list grows to deviceCount records.
void BM_FindOrAddNew(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        ResetDeviceList();
        state.ResumeTiming();
        TDeviceList& list = DeviceList();
        for (int n = 0; n < deviceCount; ++n)
            benchmark::DoNotOptimize(&list.FindOrAdd(NthAddr(n)));
    }
    ResetDeviceList();
    state.SetItemsProcessed(state.iterations() * deviceCount);
}
BENCHMARK(BM_FindOrAddNew)->Unit(benchmark::kMillisecond);

// Every call finds: deviceCount lookups in a list of deviceCount records, the last ones added first.
void BM_FindOrAddExisting(benchmark::State& state) {
    ResetDeviceList();
    TDeviceList& list = DeviceList();
    for (int n = 0; n < deviceCount; ++n)
        list.FindOrAdd(NthAddr(n));
    for (auto _ : state)
        for (int n = deviceCount - 1; n >= 0; --n)
            benchmark::DoNotOptimize(&list.FindOrAdd(NthAddr(n)));
    ResetDeviceList();
    state.SetItemsProcessed(state.iterations() * deviceCount);
}
BENCHMARK(BM_FindOrAddExisting)->Unit(benchmark::kMillisecond);

// Forgetting a hundred devices out of deviceCount, then the first lookup after them.
void BM_RemoveHundredThenLookup(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        ResetDeviceList();
        TDeviceList& list = DeviceList();
        for (int n = 0; n < deviceCount; ++n)
            list.FindOrAdd(NthAddr(n));
        state.ResumeTiming();
        for (int n = 0; n < 100; ++n)
            list.Remove(NthAddr(n * 997));
        benchmark::DoNotOptimize(list.IndexOf(NthAddr(deviceCount - 1)));
    }
    ResetDeviceList();
}
BENCHMARK(BM_RemoveHundredThenLookup)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
