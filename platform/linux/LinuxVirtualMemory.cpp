#include "platform/linux/LinuxVirtualMemory.h"

#include "platform/linux/SysFs.h"

#include <algorithm>
#include <limits>
#include <unistd.h>

namespace orb::platform {

namespace fs = linux_fs;

namespace {

constexpr std::uint64_t maxU64 = std::numeric_limits<std::uint64_t>::max();

// Sums that saturate instead of wrapping, so a garbage line cannot turn a large count small.
std::uint64_t addSaturating(std::uint64_t a, std::uint64_t b) {
    return a > maxU64 - b ? maxU64 : a + b;
}

std::uint64_t multiplySaturating(std::uint64_t a, std::uint64_t b) {
    return b != 0 && a > maxU64 / b ? maxU64 : a * b;
}

std::uint64_t kbToBytes(std::uint64_t kb) {
    return multiplySaturating(kb, 1024);
}

std::uint64_t kbToPages(std::uint64_t kb, std::uint64_t pageSize) {
    if (pageSize % 1024 == 0)
        return kb / (pageSize / 1024);
    return kbToBytes(kb) / pageSize;
}

std::uint64_t field(const MemInfo& info, std::string_view name) {
    return info.find(name).value_or(0);
}

std::uint64_t sum(const MemInfo& info, std::initializer_list<std::string_view> names) {
    std::uint64_t total = 0;
    for (auto name : names)
        total = addSaturating(total, field(info, name));
    return total;
}

} // namespace

std::optional<std::size_t> MemInfo::indexOf(std::string_view name) {
    const auto it = std::find(names.begin(), names.end(), name);
    if (it == names.end())
        return std::nullopt;
    return static_cast<std::size_t>(it - names.begin());
}

std::optional<std::uint64_t> MemInfo::find(std::string_view name) const {
    const auto index = indexOf(name);
    if (!index || !(present_ & (1u << *index)))
        return std::nullopt;
    return values_[*index];
}

void MemInfo::set(std::size_t index, std::uint64_t value) {
    if (index >= names.size() || (present_ & (1u << index)))
        return;
    values_[index] = value;
    present_ |= 1u << index;
}

MemInfo parseMeminfo(std::string_view text) {
    MemInfo info;
    fs::forEachLine(text, [&](std::string_view line) {
        auto colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0)
            return;
        const auto index = MemInfo::indexOf(fs::trim(line.substr(0, colon)));
        if (!index)
            return;
        // The number is the first field after the colon; a unit may follow it.
        auto rest = fs::trim(line.substr(colon + 1));
        rest = rest.substr(0, std::min(rest.find_first_of(" \t"), rest.size()));
        if (auto value = fs::parseUnsigned(rest))
            info.set(*index, *value);
    });
    return info;
}

std::optional<std::uint64_t> availableKb(const MemInfo& info) {
    auto total = info.find("MemTotal");
    if (!total)
        return std::nullopt;
    if (auto available = info.find("MemAvailable"))
        return std::min(*available, *total);
    auto free = info.find("MemFree");
    if (!free)
        return std::nullopt;
    // Kernels before 2.6.28 have no split of the page cache into file and anonymous lists;
    // their Cached holds shared memory, which only swapping could free.
    std::uint64_t pageCache = 0;
    if (info.contains("Active(file)") || info.contains("Inactive(file)")) {
        pageCache = sum(info, {"Active(file)", "Inactive(file)"});
    } else {
        const auto cached = sum(info, {"Buffers", "Cached"});
        const auto shmem = field(info, "Shmem");
        pageCache = cached > shmem ? cached - shmem : 0;
    }
    const auto estimate = sum(info, {"MemFree", "SReclaimable"});
    return std::min(addSaturating(estimate, pageCache), *total);
}

std::optional<PageCounts> pageCountsFromMeminfo(const MemInfo& info, std::uint64_t pageSize,
                                                std::uint64_t compressedPoolBytes) {
    auto available = availableKb(info);
    if (pageSize == 0 || !available)
        return std::nullopt;
    const auto totalKb = field(info, "MemTotal");
    const auto usedPages = kbToPages(totalKb - *available, pageSize);

    const auto locked =
        info.contains("Unevictable") ? field(info, "Unevictable") : field(info, "Mlocked");
    const auto hugePages =
        info.contains("Hugetlb")
            ? field(info, "Hugetlb")
            : multiplySaturating(field(info, "HugePages_Total"), field(info, "Hugepagesize"));
    const auto kernelKb =
        sum(info, {"SUnreclaim", "KernelStack", "PageTables", "SecPageTables", "Percpu"});

    PageCounts counts;
    counts.wired = kbToPages(addSaturating(addSaturating(locked, hugePages), kernelKb), pageSize);
    counts.compressed =
        addSaturating(kbToPages(field(info, "Zswap"), pageSize), compressedPoolBytes / pageSize);
    const auto kernelAndCompressed = addSaturating(counts.wired, counts.compressed);
    if (kernelAndCompressed <= usedPages)
        counts.active = usedPages - kernelAndCompressed;
    else
        counts.external = kernelAndCompressed - usedPages;
    const auto freeKb = field(info, "MemFree");
    counts.inactive = *available > freeKb ? kbToPages(*available - freeKb, pageSize) : 0;
    return counts;
}

std::optional<SwapUsage> swapFromMeminfo(const MemInfo& info) {
    auto total = info.find("SwapTotal");
    auto free = info.find("SwapFree");
    if (!total || !free)
        return std::nullopt;
    return SwapUsage{kbToBytes(*total), *total > *free ? kbToBytes(*total - *free) : 0};
}

LinuxVirtualMemory::LinuxVirtualMemory(std::string root, std::uint64_t pageSize)
    : root_(std::move(root)), pageSize_(pageSize),
      meminfoFile_(fs::underRoot(root_, "/proc/meminfo")) {
    if (pageSize_ == 0) {
        const long size = ::sysconf(_SC_PAGESIZE);
        pageSize_ = size > 0 ? static_cast<std::uint64_t>(size) : 0;
    }
}

std::optional<MemInfo> LinuxVirtualMemory::readMeminfo() {
    if (!meminfoFile_.readInto(text_, std::size_t(64) * 1024))
        return std::nullopt;
    return parseMeminfo(text_);
}

std::uint64_t LinuxVirtualMemory::zramPoolBytes() {
    // mm_stat: orig_data_size compr_data_size mem_used_total ...; the third is what the device
    // takes from RAM, allocator overhead included. Devices come and go rarely, and a machine
    // without any should not list /sys/block every second to find that out.
    constexpr auto relistEvery = std::chrono::seconds(10);
    const auto blockDir = fs::underRoot(root_, "/sys/block");
    const auto now = std::chrono::steady_clock::now();
    if (!zramListed_ || now - zramListedAt_ >= relistEvery) {
        zramListed_ = true;
        zramListedAt_ = now;
        zramDevices_.clear();
        for (auto& name : fs::listDirectory(blockDir))
            if (name.starts_with("zram"))
                zramDevices_.emplace_back(blockDir + "/" + name + "/mm_stat");
    }
    std::uint64_t total = 0;
    for (auto& device : zramDevices_) {
        if (!device.readInto(text_, 4096)) {
            zramListed_ = false; // removed: list again next time
            continue;
        }
        auto fields =
            fs::splitFields(fs::trim(std::string_view(text_).substr(0, text_.find('\n'))));
        if (fields.size() < 3)
            continue;
        total = addSaturating(total, fs::parseUnsigned(fields[2]).value_or(0));
    }
    return total;
}

std::optional<MemInfo> LinuxVirtualMemory::recentMeminfo() {
    constexpr auto reuseWithin = std::chrono::milliseconds(200);
    if (lastRead_ && std::chrono::steady_clock::now() - lastReadAt_ < reuseWithin)
        return lastRead_;
    return readMeminfo();
}

std::optional<PageCounts> LinuxVirtualMemory::pageCounts() {
    auto info = readMeminfo();
    lastRead_ = info;
    lastReadAt_ = std::chrono::steady_clock::now();
    if (!info)
        return std::nullopt;
    return pageCountsFromMeminfo(*info, pageSize_, zramPoolBytes());
}

std::optional<std::uint64_t> LinuxVirtualMemory::memorySize() {
    auto info = recentMeminfo();
    if (!info)
        return std::nullopt;
    auto total = info->find("MemTotal");
    if (!total)
        return std::nullopt;
    return kbToBytes(*total);
}

std::optional<SwapUsage> LinuxVirtualMemory::swapUsage() {
    auto info = recentMeminfo();
    if (!info)
        return std::nullopt;
    return swapFromMeminfo(*info);
}

} // namespace orb::platform
