// The activity calendar's question for every day cell of a month, against about a million activity rows.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "Core/Common/DateTime.h"
#include "Core/ConfigStore/ConfigStore.h"

namespace {

constexpr int deviceCount = 120;
constexpr int dayCount = 417; // from 2020-01-01; every seventh day of each device stays empty

THWAddr NthAddr(int n) {
    return THWAddr{0x00, 0x1A, 0x2B, 0x00, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
}

// A database file in a temporary folder, filled once and removed at the end.
class TBenchDatabase {
public:
    TBenchDatabase() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarrowin-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a temporary folder");
        dir_ = pattern;
        store_ = std::make_unique<TConfigStore>(dir_ / "bench.DB");
        Fill();
    }
    ~TBenchDatabase() {
        store_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    TConfigStore& Store() { return *store_; }
    int Rows() {
        return store_->WithStatement("SELECT COUNT(*) FROM ACTIVITY",
                                     [&] { return store_->Step() ? store_->ColumnInt(0) : 0; });
    }

private:
    void Fill() {
        store_->InTransaction([&] {
            for (int n = 0; n < deviceCount; ++n) {
                TDeviceItem device;
                device.HWAddr = NthAddr(n);
                store_->SaveDevice(device);
            }
            store_->Exec("WITH RECURSIVE d(n) AS (SELECT 0 UNION ALL SELECT n + 1 FROM d WHERE n < " +
                         std::to_string(dayCount - 1) +
                         "), h(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM h WHERE x < 23) "
                         "INSERT INTO ACTIVITY SELECT dev.HWADDR, date('2020-01-01', '+' || d.n || ' days'), h.x "
                         "FROM DEVICE dev, d, h WHERE (d.n + dev.rowid) % 7 <> 0");
        });
    }

    std::filesystem::path dir_;
    std::unique_ptr<TConfigStore> store_;
};

TBenchDatabase& Database() {
    static TBenchDatabase database;
    return database;
}

void BM_DayHasActivityForAMonth(benchmark::State& state) {
    TConfigStore& db = Database().Store();
    const THWAddr device = NthAddr(deviceCount / 2);
    const TDateTime first = EncodeDate(2020, 7, 1);
    int coloured = 0;
    for (auto _ : state) {
        TSQLiteLock guard(db);
        coloured = 0;
        for (int day = 0; day < 31; ++day)
            coloured += db.DayHasActivity(device, first + day) ? 1 : 0;
        benchmark::DoNotOptimize(coloured);
    }
    state.counters["rows"] = Database().Rows();
    state.counters["coloured_days"] = coloured;
    state.counters["per_call"] =
        benchmark::Counter(31, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DayHasActivityForAMonth)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
