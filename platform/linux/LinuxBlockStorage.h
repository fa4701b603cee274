#pragma once

#include "platform/linux/KeptFile.h"
#include "platform/linux/LinuxDeviceRegistry.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orb::platform {

struct DiskStatRow {
    std::string name;
    std::uint64_t sectorsRead = 0; // 512-byte units, whatever the disk's block size
    std::uint64_t sectorsWritten = 0;
};

// The rows of /proc/diskstats: 14 fields before 4.18, 18 with discard and 20 with flush
// counters, and the 7-field partition rows of 2.6 kernels. Rows of any other length, or with
// garbage where a counter should be, are left out.
std::vector<DiskStatRow> parseDiskStats(std::string_view text);

// The whole disks of /sys/block, spelled as /proc/diskstats spells them ("cciss!c0d0" is
// "cciss/c0d0"). A disk counts when it has hardware behind it (a `device` entry). Partitions
// are not listed there, and loop, ram, zram, device-mapper and md devices are left out even if
// they had one: their bytes are also counted on the disks below them, or never reach a disk.
std::vector<std::string> wholeDiskNames(const std::string& root);

// The block-storage services: one per whole disk, with the disk's name and a statistics table
// holding its byte counters since boot, named by the disk's kernel device path.
class LinuxBlockStorage final : public ServiceSource {
public:
    explicit LinuxBlockStorage(std::string root = "/");
    std::vector<std::unique_ptr<RegistryService>> services() override;
    std::string_view subsystem() const override { return "block"; }

private:
    struct Disk {
        std::string sysfsName; // "cciss!c0d0"
        std::string name;      // "cciss/c0d0"
        RegistryEntryId id = 0;
    };
    // The whole disks among the entries of /sys/block now. The directory is listed again when
    // the names in /proc/diskstats (`rows`, every block device) change, and every 10 s.
    const std::vector<Disk>& currentDisks(const std::vector<DiskStatRow>& rows);

    std::string root_;
    std::string blockDir_;
    linux_fs::KeptFile diskstats_;
    std::string diskstatsText_;
    std::vector<std::string> listedEntries_;
    std::vector<Disk> disks_;
    std::vector<std::string> rowNames_; // of /proc/diskstats when the directory was listed
    std::chrono::steady_clock::time_point listedAt_{};
};

} // namespace orb::platform
