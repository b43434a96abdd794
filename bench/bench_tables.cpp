// Loading the built-in vendor and language tables (both happen at start-up) and vendor lookups for a scan.
#include <benchmark/benchmark.h>

#include <vector>

#include "Core/Lang/Language.h"
#include "Core/Vendor/VendorTable.h"

namespace {

constexpr int lookupCount = 10000;

void BM_LoadVendorTable(benchmark::State& state) {
    for (auto _ : state) {
        TVendorTable table;
        table.LoadVendorTable();
        benchmark::DoNotOptimize(table.Count());
    }
}
BENCHMARK(BM_LoadVendorTable)->Unit(benchmark::kMillisecond);

void BM_LoadLanguageTable(benchmark::State& state) {
    for (auto _ : state) {
        TLanguage table(EmbeddedLanguageText());
        benchmark::DoNotOptimize(table.Sections().size());
    }
}
BENCHMARK(BM_LoadLanguageTable)->Unit(benchmark::kMillisecond);

// Addresses spread over the table's prefixes, about half of them known vendors.
std::vector<THWAddr> ScanAddresses() {
    std::vector<THWAddr> addresses;
    addresses.reserve(lookupCount);
    for (int i = 0; i < lookupCount; ++i) {
        auto byte = [&](int shift) { return static_cast<std::uint8_t>((i * 2654435761u) >> shift); };
        addresses.push_back(THWAddr{i % 2 == 0 ? std::uint8_t{0x00} : byte(24), byte(8), byte(16), 0x12, 0x34,
                                    static_cast<std::uint8_t>(i)});
    }
    return addresses;
}

void BM_LookupVendor10k(benchmark::State& state) {
    TVendorTable table;
    table.LoadVendorTable();
    std::vector<THWAddr> addresses = ScanAddresses();
    for (auto _ : state)
        for (const THWAddr& addr : addresses)
            benchmark::DoNotOptimize(table.LookupVendor(addr));
    state.SetItemsProcessed(state.iterations() * lookupCount);
}
BENCHMARK(BM_LookupVendor10k)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
