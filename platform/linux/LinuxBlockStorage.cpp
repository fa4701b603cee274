#include "platform/linux/LinuxBlockStorage.h"

#include "platform/BlockStorage.h"
#include "platform/linux/SysFs.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>

namespace orb::platform {

namespace fs = linux_fs;

namespace {

constexpr std::uint64_t sectorBytes = 512;

} // namespace

std::vector<DiskStatRow> parseDiskStats(std::string_view text) {
    std::vector<DiskStatRow> rows;
    fs::forEachLine(text, [&](std::string_view line) {
        auto fields = fs::splitFields(line);
        // major minor name, then the counters. The full layout has reads, merged reads, sectors
        // read, read time, writes, merged writes, sectors written, ...; the short one only
        // reads, sectors read, writes, sectors written.
        std::size_t readAt = 0, writtenAt = 0;
        if (fields.size() == 7) {
            readAt = 4;
            writtenAt = 6;
        } else if (fields.size() >= 14) {
            readAt = 5;
            writtenAt = 9;
        } else {
            return;
        }
        if (!fs::parseUnsigned(fields[0]) || !fs::parseUnsigned(fields[1]))
            return;
        auto read = fs::parseUnsigned(fields[readAt]);
        auto written = fs::parseUnsigned(fields[writtenAt]);
        if (read && written)
            rows.push_back({std::string(fields[2]), *read, *written});
    });
    return rows;
}

namespace {

// The name /proc/diskstats gives the /sys/block entry `sysfsName`, when that entry is a whole
// disk with hardware behind it that is not a hidden path to another; empty otherwise.
std::optional<std::string> wholeDiskName(const std::string& blockDir, std::string sysfsName) {
    constexpr std::array<std::string_view, 5> stackedOrMemory = {"loop", "ram", "zram", "dm-",
                                                                 "md"};
    if (std::any_of(stackedOrMemory.begin(), stackedOrMemory.end(),
                    [&](std::string_view prefix) { return sysfsName.starts_with(prefix); }))
        return std::nullopt;
    if (!fs::entryExists(blockDir + "/" + sysfsName + "/device"))
        return std::nullopt;
    // NVMe native multipath lists each path to a namespace (nvme0c0n1) as a hidden disk beside
    // the namespace's own (nvme0n1), which already counts every path's bytes.
    if (fs::readAttribute(blockDir + "/" + sysfsName + "/hidden") == "1")
        return std::nullopt;
    std::replace(sysfsName.begin(), sysfsName.end(), '!', '/');
    return sysfsName;
}

} // namespace

std::vector<std::string> wholeDiskNames(const std::string& root) {
    const auto blockDir = fs::underRoot(root, "/sys/block");
    std::vector<std::string> names;
    for (auto& entry : fs::listDirectory(blockDir)) {
        if (auto name = wholeDiskName(blockDir, std::move(entry)))
            names.push_back(std::move(*name));
    }
    return names;
}

LinuxBlockStorage::LinuxBlockStorage(std::string root)
    : root_(std::move(root)), blockDir_(fs::underRoot(root_, "/sys/block")),
      diskstats_(fs::underRoot(root_, "/proc/diskstats")) {}

const std::vector<LinuxBlockStorage::Disk>&
LinuxBlockStorage::currentDisks(const std::vector<DiskStatRow>& rows) {
    constexpr auto relistEvery = std::chrono::seconds(10);
    const auto now = std::chrono::steady_clock::now();
    const bool sameRows = rows.size() == rowNames_.size() &&
                          std::equal(rows.begin(), rows.end(), rowNames_.begin(),
                                     [](const DiskStatRow& row, const std::string& name) {
                                         return row.name == name;
                                     });
    if (sameRows && !rowNames_.empty() && now - listedAt_ < relistEvery)
        return disks_;
    rowNames_.clear();
    for (const auto& row : rows)
        rowNames_.push_back(row.name);
    listedAt_ = now;

    // What an entry of /sys/block is stays the same while it exists, and resolving its device
    // path takes a dozen system calls: each entry is looked at once, when it first appears.
    const auto entries = fs::listDirectory(blockDir_);
    if (entries != listedEntries_) {
        std::map<std::string, Disk, std::less<>> known;
        for (auto& disk : disks_)
            known.emplace(disk.sysfsName, std::move(disk));
        disks_.clear();
        for (const auto& entry : entries) {
            if (auto kept = known.find(entry); kept != known.end()) {
                disks_.push_back(std::move(kept->second));
            } else if (auto name = wholeDiskName(blockDir_, entry)) {
                const auto id = registryEntryId(kernelDevicePath(root_, "/sys/block/" + entry));
                disks_.push_back({entry, std::move(*name), id});
            }
        }
        listedEntries_ = entries;
    }
    return disks_;
}

std::vector<std::unique_ptr<RegistryService>> LinuxBlockStorage::services() {
    std::vector<std::unique_ptr<RegistryService>> services;
    if (!diskstats_.readInto(diskstatsText_))
        return services;
    const auto parsed = parseDiskStats(diskstatsText_);
    std::map<std::string, DiskStatRow, std::less<>> rows;
    for (const auto& row : parsed)
        rows.emplace(row.name, row);

    using namespace block_storage;
    for (const auto& disk : currentDisks(parsed)) {
        auto row = rows.find(disk.name);
        if (row == rows.end())
            continue;
        PropertyTable statistics{
            {std::string(bytesReadKey), row->second.sectorsRead * sectorBytes},
            {std::string(bytesWrittenKey), row->second.sectorsWritten * sectorBytes}};
        PropertyTable properties{{std::string(nameKey), disk.name},
                                 {std::string(statisticsKey), std::move(statistics)}};
        services.push_back(std::make_unique<SnapshotService>(disk.id, std::move(properties)));
    }
    return services;
}

} // namespace orb::platform
