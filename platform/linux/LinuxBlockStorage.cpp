#include "platform/linux/LinuxBlockStorage.h"

#include "platform/BlockStorage.h"
#include "platform/linux/SysFs.h"

#include <algorithm>
#include <array>
#include <map>

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

std::vector<std::string> wholeDiskNames(const std::string& root) {
    constexpr std::array<std::string_view, 5> stackedOrMemory = {"loop", "ram", "zram", "dm-",
                                                                 "md"};
    const auto blockDir = fs::underRoot(root, "/sys/block");
    std::vector<std::string> names;
    for (auto name : fs::listDirectory(blockDir)) {
        if (std::any_of(stackedOrMemory.begin(), stackedOrMemory.end(),
                        [&](std::string_view prefix) { return name.starts_with(prefix); }))
            continue;
        if (!fs::entryExists(blockDir + "/" + name + "/device"))
            continue;
        std::replace(name.begin(), name.end(), '!', '/');
        names.push_back(std::move(name));
    }
    return names;
}

LinuxBlockStorage::LinuxBlockStorage(std::string root) : root_(std::move(root)) {}

std::vector<std::unique_ptr<RegistryService>> LinuxBlockStorage::services() {
    std::vector<std::unique_ptr<RegistryService>> services;
    auto text = fs::readFile(fs::underRoot(root_, "/proc/diskstats"));
    if (!text)
        return services;
    std::map<std::string, DiskStatRow, std::less<>> rows;
    for (auto& row : parseDiskStats(*text))
        rows.emplace(row.name, row);

    using namespace block_storage;
    for (const auto& name : wholeDiskNames(root_)) {
        auto row = rows.find(name);
        if (row == rows.end())
            continue;
        PropertyTable statistics{
            {std::string(bytesReadKey), row->second.sectorsRead * sectorBytes},
            {std::string(bytesWrittenKey), row->second.sectorsWritten * sectorBytes}};
        PropertyTable properties{{std::string(nameKey), name},
                                 {std::string(statisticsKey), std::move(statistics)}};
        auto sysfsName = name;
        std::replace(sysfsName.begin(), sysfsName.end(), '/', '!');
        const auto id = registryEntryId(kernelDevicePath(root_, "/sys/block/" + sysfsName));
        services.push_back(std::make_unique<SnapshotService>(id, std::move(properties)));
    }
    return services;
}

} // namespace orb::platform
