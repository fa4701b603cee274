// The processor texts: /proc/stat (per-processor ticks, btime), /proc/cpuinfo, /proc/loadavg,
// /proc/uptime and the kernel's processor lists. Every parser reads the whole input; each keeps
// the lines it knows.
#include "FuzzTree.h"
#include "platform/linux/LinuxHostInfo.h"
#include "platform/linux/LinuxProcessorInfo.h"
#include "platform/linux/SysFs.h"

#include <cstdlib>

using namespace orb::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static orb::fuzz::FuzzTree tree;
    const auto text = orb::fuzz::asText(data, size);

    if (const auto sample = parseProcessorTicks(text)) {
        if (sample->empty())
            std::abort(); // an empty sample is no sample
    }
    brandFromCpuinfo(text);
    for (const int cpu : linux_fs::parseCpuList(text))
        if (cpu < 0)
            std::abort();

    tree.clear();
    for (const char* file : {"proc/stat", "proc/loadavg", "proc/uptime", "proc/cpuinfo",
                             "sys/devices/cpu_core/cpus", "sys/devices/cpu_atom/cpus"})
        tree.writeFile(file, text, false);
    LinuxHostInfo host(tree.root());
    for (const double average : host.loadAverages())
        if (!(average >= 0))
            std::abort();
    host.uptimeSeconds();
    host.brandString();
    const auto cores = host.coreCounts();
    if (cores.performance < 0 || cores.efficiency < 0)
        std::abort();
    return 0;
}
