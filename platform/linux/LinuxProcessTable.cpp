#include "platform/linux/LinuxProcessTable.h"

#include "platform/linux/SysFs.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <linux/magic.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace orb::platform {

namespace fs = linux_fs;

namespace {

constexpr auto maxCount = std::numeric_limits<std::uint64_t>::max();

// The next run of non-space characters, taken off the front of `text`.
std::string_view nextField(std::string_view& text) {
    const auto start = text.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        text = {};
        return {};
    }
    text.remove_prefix(start);
    const auto field = text.substr(0, text.find_first_of(" \n"));
    text.remove_prefix(field.size());
    return field;
}

std::uint64_t saturatingSum(std::uint64_t a, std::uint64_t b) {
    return a > maxCount - b ? maxCount : a + b;
}

std::uint64_t saturatingProduct(std::uint64_t a, std::uint64_t b) {
    return b != 0 && a > maxCount / b ? maxCount : a * b;
}

// The value of a "Key:   123 kB" line of a status file in bytes; empty when it is not a number
// or does not fit.
std::optional<std::uint64_t> kilobytes(std::string_view value) {
    value = fs::trim(value);
    if (value.ends_with(" kB"))
        value.remove_suffix(3);
    auto count = fs::parseUnsigned(value);
    if (!count || *count > maxCount / 1024)
        return std::nullopt;
    return *count * 1024;
}

} // namespace

std::optional<ProcessStat> parseProcessStat(std::string_view line) {
    const auto open = line.find('(');
    const auto close = line.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open)
        return std::nullopt;
    ProcessStat stat;
    stat.name = line.substr(open + 1, close - open - 1);

    // Field numbers as in proc(5); the state, field 3, is the first after the name.
    std::uint64_t userTicks = 0, systemTicks = 0;
    const std::pair<int, std::uint64_t*> wanted[] = {
        {10, &stat.minorFaults}, {12, &stat.majorFaults}, {14, &userTicks},
        {15, &systemTicks},      {22, &stat.startTime},   {23, &stat.virtualSize}};
    std::string_view rest = line.substr(close + 1);
    for (int number = 3; number <= 24; ++number) {
        const auto field = nextField(rest);
        if (field.empty())
            return std::nullopt;
        if (number == 24) {
            // Printed signed: the kernel's per-processor counters can leave it briefly negative.
            const auto pages = fs::parseInt(field);
            if (!pages)
                return std::nullopt;
            stat.residentPages = static_cast<std::uint64_t>(std::max<std::int64_t>(*pages, 0));
            continue;
        }
        const auto* slot = std::find_if(std::begin(wanted), std::end(wanted),
                                        [&](const auto& entry) { return entry.first == number; });
        if (slot == std::end(wanted))
            continue;
        const auto value = fs::parseUnsigned(field);
        if (!value)
            return std::nullopt;
        *slot->second = *value;
    }
    stat.cpuTicks = saturatingSum(userTicks, systemTicks);
    return stat;
}

std::optional<std::uint64_t> parseStatusFootprint(std::string_view text) {
    bool isStatus = false;
    bool unreadable = false;
    std::optional<std::uint64_t> anonymous, resident, swap;
    fs::forEachLine(text, [&](std::string_view line) {
        const auto colon = line.find(':');
        if (colon == std::string_view::npos)
            return;
        const auto key = line.substr(0, colon);
        std::optional<std::uint64_t>* slot = key == "RssAnon"  ? &anonymous
                                             : key == "VmRSS"  ? &resident
                                             : key == "VmSwap" ? &swap
                                                               : nullptr;
        isStatus = isStatus || key == "Name";
        if (slot) {
            *slot = kilobytes(line.substr(colon + 1));
            unreadable = unreadable || !*slot;
        }
    });
    if (!isStatus || unreadable)
        return std::nullopt;
    return saturatingSum(anonymous ? *anonymous : resident.value_or(0), swap.value_or(0));
}

std::size_t LinuxProcessTable::keptStatLimit() {
    constexpr rlim_t reserve = 256;
    constexpr std::size_t most = 4096;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur / 2 <= reserve)
        return 0;
    return static_cast<std::size_t>(std::min<rlim_t>(limit.rlim_cur / 2 - reserve, most));
}

LinuxProcessTable::LinuxProcessTable(const std::string& root, std::optional<std::size_t> keptLimit)
    : procDir_(fs::underRoot(root, "/proc")), keptLimit_(keptLimit.value_or(keptStatLimit())) {
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    nanosecondsPerTick_ =
        1'000'000'000 / static_cast<std::uint64_t>(ticksPerSecond > 0 ? ticksPerSecond : 100);
    path_.reserve(32);
}

LinuxProcessTable::~LinuxProcessTable() {
    for (auto& [pid, known] : known_)
        closeKept(known);
    if (procFd_ >= 0)
        ::close(procFd_);
}

bool LinuxProcessTable::openProc() {
    if (procFd_ < 0)
        procFd_ = ::open(procDir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return procFd_ >= 0;
}

bool LinuxProcessTable::listProcesses(std::vector<int>& pids) {
    pids.clear();
    // Processes not seen by the last walk have gone; a new one under an old identifier is told
    // apart by its start time.
    for (auto it = known_.begin(); it != known_.end();) {
        if (it->second.walk == walk_) {
            ++it;
            continue;
        }
        closeKept(it->second);
        it = known_.erase(it);
    }
    ++walk_;

    // Opened again on every walk, so that a /proc mounted anew under the root is followed; the
    // descriptors kept open on another one are let go.
    if (procFd_ >= 0)
        ::close(procFd_);
    procFd_ = -1;
    if (!openProc())
        return false;
    struct stat proc {};
    struct statfs procFs {};
    keepStat_ = ::fstat(procFd_, &proc) == 0 && ::fstatfs(procFd_, &procFs) == 0 &&
                procFs.f_type == PROC_SUPER_MAGIC;
    if (!keepStat_ || proc.st_dev != procDevice_) {
        for (auto& [pid, known] : known_)
            closeKept(known);
        procDevice_ = keepStat_ ? proc.st_dev : 0;
    }
    DIR* directory = ::opendir(procDir_.c_str());
    if (!directory)
        return false;
    while (const dirent* entry = ::readdir(directory)) {
        const std::string_view name = entry->d_name;
        int pid = 0;
        auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), pid);
        if (ec == std::errc() && end == name.data() + name.size() && pid > 0)
            pids.push_back(pid);
    }
    ::closedir(directory);
    if (walkCompanion_)
        walkCompanion_();
    return true;
}

template <std::size_t N>
std::optional<std::size_t> LinuxProcessTable::readSmallFile(std::string_view file,
                                                            std::array<char, N>& buffer) {
    path_.resize(pidEnd_);
    path_.append(file);
    const int fd = ::openat(procFd_, path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    ssize_t length = 0;
    do
        length = ::read(fd, buffer.data(), buffer.size());
    while (length < 0 && errno == EINTR);
    ::close(fd);
    if (length <= 0)
        return std::nullopt;
    return static_cast<std::size_t>(length);
}

void LinuxProcessTable::closeKept(Known& known) {
    if (known.statFd < 0)
        return;
    ::close(known.statFd);
    known.statFd = -1;
    --kept_;
}

std::optional<std::size_t> LinuxProcessTable::readStat(int pid) {
    auto readAll = [this](int fd) -> std::optional<std::size_t> {
        ssize_t length = 0;
        do
            length = ::pread(fd, stat_.data(), stat_.size(), 0);
        while (length < 0 && errno == EINTR);
        return length > 0 ? std::optional(static_cast<std::size_t>(length)) : std::nullopt;
    };
    const auto known = known_.find(pid);
    if (known != known_.end() && known->second.statFd >= 0) {
        if (const auto length = readAll(known->second.statFd))
            return length;
        // Reaped: whatever now has the identifier is another process, read through a new one.
        closeKept(known->second);
    }
    path_.resize(pidEnd_);
    path_.append("stat");
    const int fd = ::openat(procFd_, path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    const auto length = readAll(fd);
    if (length && keepStat_ && kept_ < keptLimit_) {
        known_[pid].statFd = fd;
        ++kept_;
    } else {
        ::close(fd);
    }
    return length;
}

bool LinuxProcessTable::readProcess(int pid, ProcessReading& reading) {
    if (!openProc())
        return false;
    path_.clear();
    char digits[16];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, pid);
    path_.append(digits, end);
    path_.push_back('/');
    pidEnd_ = path_.size();

    const auto statLength = readStat(pid);
    if (!statLength)
        return false;
    const auto stat = parseProcessStat(std::string_view(stat_.data(), *statLength));
    if (!stat)
        return false;

    Known& known = known_[pid];
    const bool unchanged =
        known.walk != 0 && known.startTime == stat->startTime &&
        known.minorFaults == stat->minorFaults && known.majorFaults == stat->majorFaults &&
        known.cpuTicks == stat->cpuTicks && known.virtualSize == stat->virtualSize &&
        known.residentPages == stat->residentPages;
    // Freeing swapped-out memory moves none of those fields, so a tenth of the processes are
    // read in full on every walk anyway.
    const bool refreshDue = (walk_ + static_cast<unsigned>(pid)) % refreshWalks == 0;
    if ((!unchanged || refreshDue) && !readExecutableAndFootprint(*stat, known)) {
        closeKept(known);
        known_.erase(pid);
        return false;
    }
    known.walk = walk_;

    reading.path = known.path;
    reading.name = stat->name;
    reading.startTime = stat->startTime;
    reading.cpuTime = saturatingProduct(stat->cpuTicks, nanosecondsPerTick_);
    reading.footprint = known.footprint;
    return true;
}

bool LinuxProcessTable::readExecutableAndFootprint(const ProcessStat& stat, Known& known) {
    // Kernel threads and zombies have no address space, and so no exe link; other users'
    // processes refuse it.
    const bool hasAddressSpace = stat.virtualSize != 0 || stat.residentPages != 0;
    ssize_t linkLength = -1;
    if (hasAddressSpace) {
        path_.resize(pidEnd_);
        path_.append("exe");
        linkLength = ::readlinkat(procFd_, path_.c_str(), exe_.data(), exe_.size());
    }
    std::string_view path;
    if (linkLength > 0 && static_cast<std::size_t>(linkLength) < exe_.size()) {
        path = std::string_view(exe_.data(), static_cast<std::size_t>(linkLength));
        // A program whose file was replaced, as by a package upgrade, keeps running.
        constexpr std::string_view deleted = " (deleted)";
        if (path.ends_with(deleted))
            path.remove_suffix(deleted.size());
    }

    // Nor anything of their own in memory.
    std::uint64_t footprint = 0;
    if (hasAddressSpace) {
        const auto length = readSmallFile("status", status_);
        const auto bytes =
            length ? parseStatusFootprint(std::string_view(status_.data(), *length)) : std::nullopt;
        if (!bytes)
            return false;
        footprint = *bytes;
    }
    known.startTime = stat.startTime;
    known.minorFaults = stat.minorFaults;
    known.majorFaults = stat.majorFaults;
    known.cpuTicks = stat.cpuTicks;
    known.virtualSize = stat.virtualSize;
    known.residentPages = stat.residentPages;
    known.path.assign(path);
    known.footprint = footprint;
    return true;
}

} // namespace orb::platform
