// The all-devices window with 20,000 devices: opening it, sorting by each column, exporting XML and CSV and
// importing the XML back. Each step is timed once and printed; the target is under a second each.
#include "Core/ConfigStore/ConfigStore.h"
#include "Core/DeviceList/DeviceExport.h"
#include "Core/DeviceList/DeviceList.h"
#include "Core/Vendor/VendorTable.h"
#include "GUI/DevMan/DevMan.h"
#include "GUI/DevMan/LocaleFormat.h"

#include <QApplication>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>

namespace {

constexpr int deviceCount = 20000;

void Time(const char* what, const std::function<void()>& step) {
    const auto start = std::chrono::steady_clock::now();
    step();
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
    std::printf("%-36s %9.1f ms\n", what, elapsed.count());
    std::fflush(stdout);
}

// Vendors the table knows and some it does not, comments of a few words, last seen over two years.
void AddDevices(TDeviceList& devices, TConfigStore& store) {
    std::mt19937 random(20000);
    const std::array<std::array<std::uint8_t, 3>, 4> prefixes{
        {{0x00, 0x1A, 0x2B}, {0x3C, 0x5A, 0xB4}, {0xF0, 0x9F, 0xC2}, {0x02, 0x00, 0x00}}};
    const char* words[] = {"kitchen", "Laptop", "printer", "TV", "phone", "Büro", "garage", "camera"};
    const TDateTime now = Now();
    store.InTransaction([&] {
        for (int i = 0; i < deviceCount; ++i) {
            const auto& prefix = prefixes[static_cast<size_t>(i) % prefixes.size()];
            THWAddr address{prefix[0],
                            prefix[1],
                            prefix[2],
                            static_cast<std::uint8_t>(i >> 16),
                            static_cast<std::uint8_t>(i >> 8),
                            static_cast<std::uint8_t>(i)};
            TDeviceItem& device = devices.FindOrAdd(address);
            device.Known = random() % 3 == 0;
            device.Comment = std::string(words[random() % 8]) + " " + words[random() % 8];
            device.LastSeen = now - static_cast<double>(random() % (730 * 24 * 60)) / (24 * 60);
            store.SaveDevice(device);
        }
    });
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("bench_devman." + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    SetConfigStorePath(folder / "Tarrowin.DB");
    {
        TVendorTable vendors;
        vendors.LoadVendorTable();
        Time("storing 20000 devices (setup)", [] { AddDevices(DeviceList(), ConfigStore()); });

        std::unique_ptr<TfmDevMan> window;
        Time("opening the all-devices window", [&] {
            window = std::make_unique<TfmDevMan>(nullptr, vendors);
            window->SetSort(TfmDevMan::dcMACAddress, false);
            window->show();
            QApplication::processEvents();
        });
        const char* columns[] = {"MAC address", "Vendor", "Last Seen", "Info"};
        for (int column = 0; column < TfmDevMan::ColumnCount; ++column)
            for (bool descending : {false, true}) {
                const std::string what =
                    std::string("sorting by ") + columns[column] + (descending ? ", descending" : ", ascending");
                Time(what.c_str(), [&] {
                    window->SetSort(column, descending);
                    QApplication::processEvents();
                });
            }
        window.reset();

        const TRegionalFormat regional = RegionalFormatOf();
        const std::filesystem::path xml = folder / "devices.xml";
        Time("exporting XML", [&] { ExportXML(xml, DeviceList(), TimeSeparatorOf(regional)); });
        Time("exporting XML over the earlier file", [&] { ExportXML(xml, DeviceList(), TimeSeparatorOf(regional)); });
        Time("exporting CSV", [&] { ExportCSV(folder / "devices.csv", DeviceList(), regional); });
        Time("importing the XML back", [&] { ImportXML(xml, DeviceList(), ConfigStore(), regional); });
    }
    SetConfigStorePath({});
    ResetDeviceList();
    std::filesystem::remove_all(folder);
    return EXIT_SUCCESS;
}
