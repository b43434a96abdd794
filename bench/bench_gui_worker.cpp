// The GUI thread's share of a /16 scan: the main window, shown offscreen, scans 65,534 scripted addresses of
// which 2,000 answer. Every worker's completion notice (progress, result, row, device record and activity)
// runs on the GUI thread, so its time is what a big scan takes from the interface. Printed are the notice
// times (all, those that added a row, the silent ones) and the GUI thread's whole CPU time per worker, which
// adds painting, the idle-time action updates and the start of each next worker. Figures only.
#include "Core/Net/IPv4.h"
#include "GUI/MainView/MainWindow.h"
#include "support/ScriptedProbes.h"
#include "support/TempDatabase.h"

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

using tarrowin::test::TempDatabase;
using tarrowin::test::TScriptedDevice;
using tarrowin::test::TScriptedProbeFactory;

constexpr int answeringDevices = 2000;
constexpr int workers = MaxThreads; // the heaviest load a user can set
const TIPv4 ownAddress = StrToIPv4("10.1.0.2");

double ThreadCpuNs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

double WallNs() {
    return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct TNotice {
    double WallNs;
    double CpuNs;
    bool AddedRow;
};

// Times every queued call delivered to the window: the dispatcher posts each worker's notice as one.
class TTimingApplication final : public QApplication {
public:
    using QApplication::QApplication;

    QObject* Window = nullptr;
    QTreeWidget* List = nullptr;
    bool ScanEnded = false; // set by the notice whose worker was the last one
    std::vector<TNotice> Notices;
    TNotice EndOfScan{};

    bool notify(QObject* receiver, QEvent* event) override {
        if (receiver != Window || event->type() != QEvent::MetaCall)
            return QApplication::notify(receiver, event);
        const int rows = List->topLevelItemCount();
        const double wall = WallNs();
        const double cpu = ThreadCpuNs();
        const bool handled = QApplication::notify(receiver, event);
        const TNotice notice{WallNs() - wall, ThreadCpuNs() - cpu, List->topLevelItemCount() > rows};
        if (ScanEnded && EndOfScan.WallNs == 0)
            EndOfScan = notice;
        else
            Notices.push_back(notice);
        return handled;
    }
};

// 10.1.0.0/16 with the devices spread over it; a few vendor prefixes the table knows, most locally
// administered; every device has a name and every fourth a titled page.
void ScriptNetwork(TScriptedProbeFactory& probes) {
    const THWAddr ownMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x02};
    probes.SetInterfaces({TIfItem{"lan0", SwapIPv4(ownAddress), SwapIPv4(StrToIPv4("255.255.0.0")), ownMac}});
    probes.SetGateway(SwapIPv4(StrToIPv4("10.1.0.1")));
    const std::uint8_t prefixes[][3] = {{0x00, 0x1A, 0x2B}, {0x3C, 0x5A, 0xB4}, {0x02, 0x10, 0x00}, {0x02, 0x20, 0x00}};
    const TIPv4 first = StrToIPv4("10.1.0.1");
    const std::uint32_t spacing = 65534 / answeringDevices;
    for (int i = 0; i < answeringDevices; ++i) {
        const TIPv4 address = first + static_cast<std::uint32_t>(i) * spacing;
        const auto* prefix = prefixes[i % 4];
        TScriptedDevice device;
        device.Echo = true;
        device.RTT = static_cast<std::uint32_t>(1 + i % 20);
        device.HWAddr = THWAddr{
            prefix[0], prefix[1], prefix[2], 0x00, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)};
        device.HostName = "host-" + std::to_string(i) + ".lan";
        if (i % 4 == 0)
            device.PageTitle = "Device " + std::to_string(i);
        probes.SetDevice(address, device);
    }
}

struct TStats {
    double MeanUs = 0;
    double P99Us = 0;
    double MaxUs = 0;
    size_t Count = 0;
};

TStats StatsOf(std::vector<double> ns) {
    TStats stats;
    stats.Count = ns.size();
    if (ns.empty())
        return stats;
    std::sort(ns.begin(), ns.end());
    double sum = 0;
    for (double value : ns)
        sum += value;
    stats.MeanUs = sum / static_cast<double>(ns.size()) / 1000.0;
    stats.P99Us = ns[ns.size() * 99 / 100] / 1000.0;
    stats.MaxUs = ns.back() / 1000.0;
    return stats;
}

void PrintStats(const char* what, const std::vector<TNotice>& notices, bool (*select)(const TNotice&),
                double TNotice::*clock) {
    std::vector<double> values;
    for (const TNotice& notice : notices)
        if (select(notice))
            values.push_back(notice.*clock);
    const TStats stats = StatsOf(std::move(values));
    std::printf("  %-30s %6zu notices  mean %8.1f us  p99 %8.1f us  max %8.1f us\n", what, stats.Count, stats.MeanUs,
                stats.P99Us, stats.MaxUs);
}

void PrintNotices(const char* clockName, const std::vector<TNotice>& notices, double TNotice::*clock) {
    std::printf("completion notice, %s:\n", clockName);
    PrintStats(
        "all workers", notices, [](const TNotice&) { return true; }, clock);
    PrintStats(
        "workers that added a row", notices, [](const TNotice& n) { return n.AddedRow; }, clock);
    PrintStats(
        "workers without a row", notices, [](const TNotice& n) { return !n.AddedRow; }, clock);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TTimingApplication application(argc, argv);
    const TempDatabase database;
    TScriptedProbeFactory probes;
    ScriptNetwork(probes);

    TMainWindowContext context;
    context.Probes = &probes;
    context.Sleep = [](std::chrono::milliseconds) {}; // the start stagger is idle time of the GUI thread
    context.TrayAvailable = [] { return false; };
    context.UpdateServer = "http://127.0.0.1:9/"; // never asked: the check is off below
    TfmHWKMain window(std::move(context));
    window.Settings().GenIfName = "lan0";
    window.Settings().GenMaxThreads = workers;
    window.Settings().AdvGetPageTitle = true;
    window.Settings().AutoUpdateEnabled = false;
    window.show();
    QApplication::processEvents();

    application.Window = &window;
    application.List = window.findChild<QTreeWidget*>(QStringLiteral("lvMainView"));
    QEventLoop loop;
    QObject::connect(&window, &TfmHWKMain::ScanEnded, &loop, [&] {
        application.ScanEnded = true;
        loop.quit();
    });
    QTimer::singleShot(std::chrono::minutes(10), &loop, &QEventLoop::quit);

    const double wallStart = WallNs();
    const double cpuStart = ThreadCpuNs();
    window.findChild<QAction*>(QStringLiteral("acScanNow"))->trigger();
    loop.exec();
    const double cpu = ThreadCpuNs() - cpuStart;
    const double wall = WallNs() - wallStart;
    const auto& notices = application.Notices;
    const size_t finished = notices.size() + (application.ScanEnded ? 1 : 0);

    std::printf("scan of a /16: %zu workers finished, %d at a time, %d rows, %s\n", finished, workers,
                application.List->topLevelItemCount(), application.ScanEnded ? "ended" : "DID NOT END in 10 min");
    PrintNotices("wall time on the GUI thread", notices, &TNotice::WallNs);
    PrintNotices("GUI thread CPU time", notices, &TNotice::CpuNs);
    std::printf("last notice, with the end-of-scan steps: %.1f ms wall, %.1f ms CPU\n",
                application.EndOfScan.WallNs / 1e6, application.EndOfScan.CpuNs / 1e6);
    std::printf("GUI thread CPU for the whole scan: %.0f ms, %.1f us per worker (scan wall time %.1f s)\n", cpu / 1e6,
                finished > 0 ? cpu / 1e3 / static_cast<double>(finished) : 0.0, wall / 1e9);
    std::fflush(stdout);
    window.Quit();
    return EXIT_SUCCESS;
}
