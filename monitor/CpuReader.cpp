#include "monitor/CpuReader.h"

#include <algorithm>

namespace orb {

namespace {
double elapsed(std::uint64_t before, std::uint64_t after) {
    return after >= before ? static_cast<double>(after - before) : 0.0;
}
} // namespace

std::optional<CpuShares> cpuShares(const platform::ProcessorSample& previous,
                                   const platform::ProcessorSample& current) {
    double user = 0, system = 0, idle = 0;
    for (const auto& now : current) {
        auto before = std::find_if(previous.begin(), previous.end(),
                                   [&](const auto& p) { return p.id == now.id; });
        if (before == previous.end())
            continue;
        user += elapsed(before->user, now.user) + elapsed(before->nice, now.nice);
        system += elapsed(before->system, now.system);
        idle += elapsed(before->idle, now.idle);
    }
    const double total = system + user + idle;
    if (!(total > 0))
        return std::nullopt;
    return CpuShares{user / total, system / total};
}

CpuReader::CpuReader(platform::ProcessorInfo& processors)
    : processors_(processors), processorCount_(processors.processorCount()) {}

std::optional<CpuShares> CpuReader::read() {
    auto sample = processors_.processorTicks();
    if (!sample)
        return std::nullopt;
    std::optional<CpuShares> shares;
    if (previous_)
        shares = cpuShares(*previous_, *sample);
    previous_ = std::move(sample);
    return shares;
}

} // namespace orb
