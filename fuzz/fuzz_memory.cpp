// /proc/meminfo and a zram device's mm_stat: the page counts, memory size and swap figures.
#include "FuzzTree.h"
#include "platform/linux/LinuxVirtualMemory.h"

#include <cstdlib>

using namespace orb::platform;

namespace {

// The counts add up to what `free` calls used memory, exactly in pages, whenever no sum had to
// saturate (every field well inside 64 bits).
void checkPageCounts(const MemInfo& info, std::uint64_t pageSize) {
    const auto counts = pageCountsFromMeminfo(info, pageSize);
    const auto available = availableKb(info);
    if (!counts || !available)
        return;
    const auto total = info.find("MemTotal").value();
    if (*available > total)
        std::abort();
    for (const auto name : MemInfo::names)
        if (info.find(name).value_or(0) >= (std::uint64_t(1) << 40))
            return;
    const auto usedPages = (total - *available) * 1024 / pageSize;
    if (counts->active + counts->wired + counts->compressed - counts->purgeable -
            counts->external !=
        usedPages)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static orb::fuzz::FuzzTree tree;
    const auto text = orb::fuzz::asText(data, size);

    const auto info = parseMeminfo(text);
    for (const std::uint64_t pageSize : {0, 4096, 16384, 65536, 1000})
        checkPageCounts(info, pageSize);
    if (const auto swap = swapFromMeminfo(info); swap && swap->used > swap->total)
        std::abort();

    tree.clear();
    tree.writeFile("proc/meminfo", text, false);
    tree.writeFile("sys/block/zram0/mm_stat", text, false);
    LinuxVirtualMemory memory(tree.root(), 4096);
    memory.pageCounts();
    memory.memorySize();
    memory.swapUsage();
    return 0;
}
