#pragma once

#include "platform/VirtualMemory.h"
#include "platform/linux/KeptFile.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orb::platform {

// The lines of /proc/meminfo the figures below use: field name to its number (kB for sizes, a
// count for the HugePages_* lines). Lines that do not parse are left out; the first of two equal
// names wins. A fixed table rather than a map of every line: it is read every second.
class MemInfo {
public:
    static constexpr std::array<std::string_view, 22> names = {
        "MemTotal",    "MemFree",      "MemAvailable",   "Buffers",         "Cached",
        "Shmem",       "Active(file)", "Inactive(file)", "SReclaimable",    "SUnreclaim",
        "Unevictable", "Mlocked",      "Hugetlb",        "HugePages_Total", "Hugepagesize",
        "KernelStack", "PageTables",   "SecPageTables",  "Percpu",          "Zswap",
        "SwapTotal",   "SwapFree"};

    // Empty for a name the file did not give or that is not in `names`.
    std::optional<std::uint64_t> find(std::string_view name) const;
    bool contains(std::string_view name) const { return find(name).has_value(); }
    // Gives the field at `index` of `names` its value, unless a line gave it one already.
    void set(std::size_t index, std::uint64_t value);
    static std::optional<std::size_t> indexOf(std::string_view name);

private:
    std::array<std::uint64_t, names.size()> values_{};
    std::uint32_t present_ = 0; // a bit per name
};

// The table of `text`, a /proc/meminfo.
MemInfo parseMeminfo(std::string_view text);

// Memory the kernel could hand to programs without swapping, in kB: MemAvailable where the kernel
// reports it (3.14 and later). Older kernels get an estimate of the same quantity: MemFree plus
// the file-backed page cache (Active(file) + Inactive(file), or Buffers + Cached - Shmem before
// 2.6.28) plus reclaimable slab (SReclaimable), capped at MemTotal. The kernel's own figure also
// keeps back its low watermarks, a few tens of MB, which this estimate cannot see.
// Empty without MemTotal, or without both MemAvailable and MemFree.
std::optional<std::uint64_t> availableKb(const MemInfo& info);

// The page counts behind the used-memory and pressure figures, chosen so that
//     active + wired + compressed - purgeable - external == (MemTotal - available) / page size
// exactly in pages: used memory is what `free` calls used. `compressedPoolBytes` is the memory
// held by zram devices, which meminfo does not list.
//
//   count       meminfo source
//   wired       Unevictable (Mlocked on kernels without it) + SUnreclaim + KernelStack
//               + PageTables + SecPageTables + Percpu + Hugetlb (HugePages_Total x Hugepagesize
//               on kernels without it): kernel memory that cannot be reclaimed, locked pages and
//               reserved huge pages
//   compressed  Zswap + zram pools: compressed swap held in RAM
//   active      the rest of used memory: MemTotal - available - wired - compressed, i.e. the
//               anonymous, shared and not-yet-reclaimable cache pages of programs
//   inactive    available - MemFree: cache and reclaimable kernel memory that the kernel hands
//               back on demand (not counted as used)
//   purgeable   0: Linux has no discardable memory that still counts as used
//   external    0, or what wired + compressed exceed used memory by (only with inconsistent
//               figures, e.g. an estimated available), so the sum still holds and no count
//               goes negative
//
// Missing fields count as 0. Empty when `pageSize` is 0 or available memory is unknown.
std::optional<PageCounts> pageCountsFromMeminfo(const MemInfo& info, std::uint64_t pageSize,
                                                std::uint64_t compressedPoolBytes = 0);

// SwapTotal and SwapTotal - SwapFree, in bytes; empty when either line is missing.
std::optional<SwapUsage> swapFromMeminfo(const MemInfo& info);

// Virtual-memory figures from /proc/meminfo and the zram devices in /sys/block.
class LinuxVirtualMemory final : public VirtualMemory {
public:
    // `pageSize` 0 asks the system.
    explicit LinuxVirtualMemory(std::string root = "/", std::uint64_t pageSize = 0);
    std::uint64_t pageSize() override { return pageSize_; }
    std::optional<PageCounts> pageCounts() override;
    std::optional<std::uint64_t> memorySize() override;
    std::optional<SwapUsage> swapUsage() override;

private:
    std::optional<MemInfo> readMeminfo();
    // The page counts, the memory size and the swap figures of one update come from one read
    // of /proc/meminfo: the size and swap queries reuse a read made just before.
    std::optional<MemInfo> recentMeminfo();
    std::uint64_t zramPoolBytes();

    std::string root_;
    std::uint64_t pageSize_;
    linux_fs::KeptFile meminfoFile_;
    std::string text_; // of the last file read, its storage reused
    std::optional<MemInfo> lastRead_;
    std::chrono::steady_clock::time_point lastReadAt_;
    // The zram devices of /sys/block, listed again every 10 s or when one fails to read.
    std::vector<linux_fs::KeptFile> zramDevices_; // their mm_stat files
    std::chrono::steady_clock::time_point zramListedAt_;
    bool zramListed_ = false;
};

} // namespace orb::platform
