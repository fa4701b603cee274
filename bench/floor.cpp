// The floor under the engine's cost: the kernel files `orbimeter-probe --watch` reads, read the
// way it reads them and when it reads them, and nothing else: no event loop, no threads, no
// parsing beyond what picks the files, nothing published. overhead_table.sh sets the engine's
// CPU time against this program's over the same window.
//
// The set, as strace -f shows it for the probe on a machine at rest:
//   every second  a pread on descriptors kept open: /proc/stat, /proc/meminfo, /proc/net/dev,
//                 /proc/diskstats, /proc/loadavg, each zram device's mm_stat and the byte
//                 counters of each link with a device; a stat of each power supply, thermal
//                 zone, hwmon chip and DRM card directory and an open-read-close of the files
//                 read from it
//   every 3 s     the process walk: /proc listed; per process a pread of its kept stat, and
//                 for one whose counters moved (or whose turn it is, a tenth of them per walk)
//                 a readlink of exe and an open-read-close of status
//   every 5 s     /sys/class/net listed for wireless links, /proc/net/wireless read without one
//   every 10 s    /sys/block and /sys/class/{net,power_supply,thermal,hwmon,drm} listed again
//   every 30 s    /sys/bus/pci/devices listed and each device's vendor read
//   every 60 s    the processors' thermal_throttle directories listed
// Where the engine needs a fact only once per device (its kind, its layout), so does this.
// Usage: orbimeter_floor [seconds]   (without one it runs until stopped)
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

std::vector<char> buffer(1 << 16); // one for every read; grows for a file that fills it

// The whole of an open procfs or sysfs file, from offset 0; -1 when it cannot be read.
ssize_t readWhole(int fd) {
    for (;;) {
        ssize_t n;
        do
            n = ::pread(fd, buffer.data(), buffer.size(), 0);
        while (n < 0 && errno == EINTR);
        if (n < static_cast<ssize_t>(buffer.size()))
            return n;
        buffer.resize(buffer.size() * 2);
    }
}

ssize_t readOnce(int directory, const char* path) {
    const int fd = ::openat(directory, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    const ssize_t n = readWhole(fd);
    ::close(fd);
    return n;
}

ssize_t readOnce(const std::string& path) {
    return readOnce(AT_FDCWD, path.c_str());
}

bool exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

std::vector<std::string> list(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(path.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.')
                names.emplace_back(entry->d_name);
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct Kept {
    int fd = -1;
    explicit Kept(const std::string& path) : fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    Kept(Kept&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    Kept& operator=(Kept&&) = delete;
    ~Kept() {
        if (fd >= 0)
            ::close(fd);
    }
    void read() const {
        if (fd >= 0)
            readWhole(fd);
    }
};

// A sysfs directory read on every tick: stat'ed, then the files of it that matter read anew.
struct Sampled {
    std::string dir;
    std::vector<std::string> files;
};

// ---- the process walk ----

struct Process {
    int statFd = -1;
    unsigned walk = 0;
    std::string counters; // fields 10 to 24 of stat as last read
};

constexpr unsigned refreshWalks = 10;

class Walk {
public:
    Walk() : proc_(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC)), dir_(::fdopendir(proc_)) {
        rlimit limit{};
        if (::getrlimit(RLIMIT_NOFILE, &limit) == 0)
            keptLimit_ =
                std::min<rlim_t>(limit.rlim_cur / 2 > 256 ? limit.rlim_cur / 2 - 256 : 0, 4096);
    }

    void run() {
        ++walk_;
        if (!dir_)
            return;
        ::rewinddir(dir_);
        while (const dirent* entry = ::readdir(dir_)) {
            int pid = 0;
            const std::string_view name = entry->d_name;
            const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), pid);
            if (ec == std::errc() && end == name.data() + name.size())
                visit(pid);
        }
        for (auto it = known_.begin(); it != known_.end();) {
            if (it->second.walk == walk_) {
                ++it;
                continue;
            }
            forget(it->second);
            it = known_.erase(it);
        }
    }

private:
    void visit(int pid) {
        char path[32];
        Process& process = known_[pid];
        ssize_t length = process.statFd >= 0 ? readWhole(process.statFd) : -1;
        if (length <= 0) {
            forget(process);
            std::snprintf(path, sizeof path, "%d/stat", pid);
            const int fd = ::openat(proc_, path, O_RDONLY | O_CLOEXEC);
            length = fd < 0 ? -1 : readWhole(fd);
            if (fd >= 0 && length > 0 && kept_ < keptLimit_) {
                process.statFd = fd;
                ++kept_;
            } else if (fd >= 0) {
                ::close(fd);
            }
        }
        if (length <= 0) {
            known_.erase(pid);
            return;
        }
        // Only as much of the line as says whether the rest is worth reading: the fields from
        // the minor faults to the resident pages, after the name in parentheses.
        const std::string_view stat(buffer.data(), static_cast<std::size_t>(length));
        const auto close = stat.rfind(')');
        if (close == std::string_view::npos)
            return;
        std::size_t start = close + 1, end = start; // the space before field 3, the state
        for (int field = 4; field <= 25 && end != std::string_view::npos; ++field) {
            end = stat.find(' ', end + 1); // the space before `field`
            if (field == 10)
                start = end;
        }
        const auto counters = stat.substr(start, end - start);
        const bool moved = process.walk == 0 || counters != process.counters;
        const bool due = (walk_ + static_cast<unsigned>(pid)) % refreshWalks == 0;
        process.walk = walk_;
        if (!moved && !due)
            return;
        process.counters.assign(counters);
        // Kernel threads and zombies: no address space (virtual size and resident pages 0).
        if (counters.ends_with(" 0 0"))
            return;
        char link[4096];
        std::snprintf(path, sizeof path, "%d/exe", pid);
        if (::readlinkat(proc_, path, link, sizeof link) < 0)
            link[0] = '\0'; // not ours to read, as for the engine
        std::snprintf(path, sizeof path, "%d/status", pid);
        readOnce(proc_, path);
    }

    void forget(Process& process) {
        if (process.statFd < 0)
            return;
        ::close(process.statFd);
        process.statFd = -1;
        --kept_;
    }

    int proc_;
    DIR* dir_;
    std::unordered_map<int, Process> known_;
    unsigned walk_ = 0;
    std::size_t kept_ = 0, keptLimit_ = 0;
};

// ---- the tick ----

const std::string net = "/sys/class/net/";

class Tick {
public:
    Tick() {
        for (const char* path :
             {"/proc/stat", "/proc/meminfo", "/proc/net/dev", "/proc/diskstats", "/proc/loadavg"})
            procFiles_.emplace_back(path);
    }

    void run(long tick) {
        if (tick % 10 == 0)
            relist();
        if (tick % 5 == 0)
            wireless();
        if (tick % 30 == 0)
            pciDevices();
        if (tick % 60 == 0)
            throttleCounters();
        for (const auto& file : procFiles_)
            file.read();
        for (const auto& [name, file] : zram_)
            file.read();
        for (const auto& [name, counters] : links_) {
            counters.first.read();
            counters.second.read();
        }
        struct stat status {};
        for (const auto& sampled : sampled_) {
            if (::stat(sampled.dir.c_str(), &status) != 0)
                continue;
            for (const auto& file : sampled.files)
                readOnce(sampled.dir + file);
        }
        for (const auto& file : throttle_)
            readOnce(file);
    }

private:
    void relist() {
        // Kept descriptors of devices still listed stay open; new ones are opened.
        std::map<std::string, Kept> zram;
        for (const auto& name : list("/sys/block"))
            if (name.starts_with("zram")) {
                auto old = zram_.find(name);
                zram.emplace(name, old != zram_.end() ? std::move(old->second)
                                                      : Kept("/sys/block/" + name + "/mm_stat"));
            }
        zram_ = std::move(zram);

        std::map<std::string, std::pair<Kept, Kept>> links;
        for (const auto& name : list(net)) {
            if (auto old = links_.find(name); old != links_.end())
                links.emplace(name, std::move(old->second));
            else if (name != "lo" && exists(net + name + "/device") && links.size() < 16)
                links.emplace(name, std::pair(Kept(net + name + "/statistics/rx_bytes"),
                                              Kept(net + name + "/statistics/tx_bytes")));
        }
        links_ = std::move(links);

        sampled_.clear();
        for (const auto& name : list("/sys/class/power_supply")) {
            const std::string dir = "/sys/class/power_supply/" + name + "/";
            Sampled supply{dir, {}};
            for (const char* file : {"type",
                                     "scope",
                                     "status",
                                     "health",
                                     "online",
                                     "present",
                                     "capacity",
                                     "energy_now",
                                     "energy_full",
                                     "energy_full_design",
                                     "charge_now",
                                     "charge_full",
                                     "charge_full_design",
                                     "power_now",
                                     "current_now",
                                     "voltage_now",
                                     "voltage_min_design",
                                     "cycle_count",
                                     "temp",
                                     "time_to_empty_now",
                                     "time_to_full_now"})
                if (exists(dir + file))
                    supply.files.emplace_back(file);
            sampled_.push_back(std::move(supply));
        }
        for (const auto& name : list("/sys/class/thermal"))
            if (name.starts_with("thermal_zone"))
                sampled_.push_back({"/sys/class/thermal/" + name + "/", {"temp"}});
        for (const auto& name : list("/sys/class/hwmon")) {
            std::string dir = "/sys/class/hwmon/" + name + "/";
            if (!exists(dir + "name") && exists(dir + "device"))
                dir += "device/";
            Sampled chip{dir, {}};
            for (const auto& file : list(dir))
                if (file.ends_with("_input") &&
                    (file.starts_with("temp") || file.starts_with("fan")))
                    chip.files.push_back(file);
            sampled_.push_back(std::move(chip));
        }
        for (const auto& name : list("/sys/class/drm")) {
            if (!name.starts_with("card") || name.find('-') != std::string::npos)
                continue;
            const std::string dir = "/sys/class/drm/" + name + "/";
            Sampled card{dir, {"device/power/runtime_status"}};
            for (const char* file : {"device/gpu_busy_percent", "device/mem_info_vram_used"})
                if (exists(dir + file))
                    card.files.emplace_back(file);
            sampled_.push_back(std::move(card));
        }
    }

    void wireless() {
        bool any = false;
        for (const auto& name : list(net)) {
            auto [known, added] = isWireless_.try_emplace(name, false);
            if (added)
                known->second =
                    exists(net + name + "/wireless") || exists(net + name + "/phy80211");
            if (known->second) {
                any = true;
                readOnce(net + name + "/operstate");
            }
        }
        if (!any)
            readOnce("/proc/net/wireless");
    }

    void pciDevices() {
        for (const auto& name : list("/sys/bus/pci/devices")) {
            const std::string dir = "/sys/bus/pci/devices/" + name;
            if (readOnce(dir + "/vendor") > 0 && std::string_view(buffer.data(), 6) == "0x10de")
                readOnce(dir + "/class");
        }
    }

    void throttleCounters() {
        throttle_.clear();
        const std::string cpus = "/sys/devices/system/cpu/";
        for (const auto& cpu : list(cpus)) {
            if (cpu.size() < 4 || !cpu.starts_with("cpu") || cpu[3] < '0' || cpu[3] > '9')
                continue;
            for (const auto& file : list(cpus + cpu + "/thermal_throttle/"))
                if (file.ends_with("_count"))
                    throttle_.push_back(cpus + cpu + "/thermal_throttle/" + file);
        }
    }

    std::vector<Kept> procFiles_;
    std::map<std::string, Kept> zram_;
    std::map<std::string, std::pair<Kept, Kept>> links_;
    std::vector<Sampled> sampled_;
    std::map<std::string, bool> isWireless_;
    std::vector<std::string> throttle_;
};

} // namespace

int main(int argc, char** argv) {
    const long seconds = argc > 1 ? std::atol(argv[1]) : -1;
    // As the engine does, so that the walk may keep a descriptor per process.
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 16384) {
        limit.rlim_cur = std::min<rlim_t>(16384, limit.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    Tick tick;
    Walk walk;
    timespec next{};
    ::clock_gettime(CLOCK_MONOTONIC, &next);
    for (long n = 0; seconds < 0 || n < seconds; ++n) {
        tick.run(n);
        if (n % 3 == 0)
            walk.run();
        next.tv_sec += 1;
        while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) == EINTR) {
        }
    }
}
