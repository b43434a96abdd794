#include "ScriptedProbes.h"

#include <stdexcept>

namespace tarrowin::test {

class TScriptedPing : public TPlatformPing {
public:
    explicit TScriptedPing(TScriptedProbeFactory& factory) : factory_(factory) {}
    ~TScriptedPing() override { factory_.ProbeDestroyed(probed_); }

    bool Ping(TIPv4 address, std::uint32_t, std::uint32_t& rttMs) override {
        probed_ = address;
        factory_.WaitWhileHeld(address, IfName);
        TScriptedDevice device = factory_.Record(address, &TScriptedCalls::Ping, TScriptedFault::Ping);
        if (device.Echo)
            rttMs = device.RTT;
        return device.Echo;
    }

    bool GetHWAddr(TIPv4 address, THWAddr& hwAddr) override {
        TScriptedDevice device = factory_.Record(address, &TScriptedCalls::HWAddr, TScriptedFault::HWAddr);
        if (device.HWAddr)
            hwAddr = *device.HWAddr;
        return device.HWAddr.has_value();
    }

    bool GetPageTitle(TIPv4 address, std::string& title) override {
        TScriptedDevice device = factory_.Record(address, &TScriptedCalls::PageTitle, TScriptedFault::PageTitle);
        title = device.PageTitle.value_or("");
        return device.PageTitle.has_value();
    }

private:
    TScriptedProbeFactory& factory_;
    std::optional<TIPv4> probed_;
};

class TScriptedHostInfo : public TPlatformHostInfo {
public:
    explicit TScriptedHostInfo(TScriptedProbeFactory& factory) : factory_(factory) {}
    ~TScriptedHostInfo() override { factory_.ProbeDestroyed(std::nullopt); }

    bool GetHostName(TIPv4 address, std::string& name) override {
        TScriptedDevice device = factory_.Record(address, &TScriptedCalls::HostName, TScriptedFault::HostName);
        name = device.HostName;
        return !name.empty();
    }

private:
    TScriptedProbeFactory& factory_;
};

class TScriptedInetConfig : public TPlatformInetConfig {
public:
    explicit TScriptedInetConfig(TScriptedProbeFactory& factory) : factory_(factory) {}

    bool GetInterfaces(TIfList& list) override {
        std::lock_guard lock(factory_.mutex_);
        list.insert(list.end(), factory_.interfaces_.begin(), factory_.interfaces_.end());
        return !factory_.interfaces_.empty();
    }

    bool GetDefaultGateway(TIPv4& address) override {
        std::lock_guard lock(factory_.mutex_);
        if (factory_.gateway_)
            address = *factory_.gateway_;
        return factory_.gateway_.has_value();
    }

private:
    TScriptedProbeFactory& factory_;
};

void TScriptedProbeFactory::SetDevice(TIPv4 address, TScriptedDevice device) {
    std::lock_guard lock(mutex_);
    devices_[address] = std::move(device);
}

void TScriptedProbeFactory::SetInterfaces(TIfList interfaces) {
    std::lock_guard lock(mutex_);
    interfaces_ = std::move(interfaces);
}

void TScriptedProbeFactory::SetGateway(std::optional<TIPv4> networkOrder) {
    std::lock_guard lock(mutex_);
    gateway_ = networkOrder;
}

TScriptedCalls TScriptedProbeFactory::Calls(TIPv4 address) const {
    std::lock_guard lock(mutex_);
    auto found = calls_.find(address);
    return found == calls_.end() ? TScriptedCalls{} : found->second;
}

int TScriptedProbeFactory::LiveProbes() const {
    std::lock_guard lock(mutex_);
    return liveProbes_;
}

void TScriptedProbeFactory::HoldEchoes() {
    std::lock_guard lock(mutex_);
    holding_ = true;
}

void TScriptedProbeFactory::ReleaseEchoes() {
    std::lock_guard lock(mutex_);
    holding_ = false;
    changed_.notify_all();
}

bool TScriptedProbeFactory::WaitForHeldEchoes(int count, std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return heldEchoes_ >= count; });
}

std::unique_ptr<TPlatformInetConfig> TScriptedProbeFactory::CreateInetConfig() {
    return std::make_unique<TScriptedInetConfig>(*this);
}

std::unique_ptr<TPlatformPing> TScriptedProbeFactory::CreatePing() {
    std::lock_guard lock(mutex_);
    ++liveProbes_;
    return std::make_unique<TScriptedPing>(*this);
}

std::unique_ptr<TPlatformHostInfo> TScriptedProbeFactory::CreateHostInfo() {
    std::lock_guard lock(mutex_);
    ++liveProbes_;
    return std::make_unique<TScriptedHostInfo>(*this);
}

TScriptedDevice TScriptedProbeFactory::Record(TIPv4 address, int TScriptedCalls::*counter, TScriptedFault fault) {
    std::lock_guard lock(mutex_);
    ++(calls_[address].*counter);
    auto found = devices_.find(address);
    TScriptedDevice device = found == devices_.end() ? TScriptedDevice{} : found->second;
    if (device.Fault == fault && fault != TScriptedFault::None)
        throw std::runtime_error("scripted probe failure at " + IPv4ToStr(address));
    return device;
}

void TScriptedProbeFactory::WaitWhileHeld(TIPv4 address, const std::string& ifName) {
    std::unique_lock lock(mutex_);
    calls_[address].IfName = ifName;
    if (!holding_)
        return;
    ++heldEchoes_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return !holding_; });
    --heldEchoes_;
}

void TScriptedProbeFactory::ProbeDestroyed(std::optional<TIPv4> probed) {
    std::lock_guard lock(mutex_);
    --liveProbes_;
    if (probed)
        ++calls_[*probed].PingsDestroyed;
}

} // namespace tarrowin::test
