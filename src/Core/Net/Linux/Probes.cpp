#include "Core/Net/Linux/Probes.h"

namespace {

class TLinuxProbeFactory final : public TProbeFactory {
public:
    std::unique_ptr<TPlatformInetConfig> CreateInetConfig() override { return std::make_unique<TInetConfig>(); }
    std::unique_ptr<TPlatformPing> CreatePing() override { return std::make_unique<TPing>(); }
    std::unique_ptr<TPlatformHostInfo> CreateHostInfo() override { return std::make_unique<THostInfo>(); }
    std::unique_ptr<TPlatformIfNameMap> CreateIfNameMap() override { return std::make_unique<TIfNameMap>(); }
};

} // namespace

TProbeFactory& PlatformProbeFactory() {
    static TLinuxProbeFactory factory;
    return factory;
}
