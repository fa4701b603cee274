#include "platform/linux/IntelBusy.h"

#include "platform/Clock.h"
#include "platform/linux/SysFs.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace orb::platform {

namespace fs = linux_fs;

namespace {

constexpr std::string_view deviceNodes = "/dev/dri/";

// The number at the start of a value such as "1234 ns".
std::optional<std::uint64_t> leadingNumber(std::string_view value) {
    value = fs::trim(value);
    return fs::parseUnsigned(value.substr(0, value.find(' ')));
}

// The value of a KEY=value line of a uevent file; empty when absent.
std::string ueventValue(std::string_view text, std::string_view key) {
    std::string found;
    fs::forEachLine(text, [&](std::string_view line) {
        if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=')
            found = fs::trim(line.substr(key.size() + 1));
    });
    return found;
}

DrmEngineUsage& engineNamed(std::vector<DrmEngineUsage>& engines, std::string_view name) {
    auto engine = std::find_if(engines.begin(), engines.end(),
                               [&](const DrmEngineUsage& e) { return e.name == name; });
    if (engine != engines.end())
        return *engine;
    engines.push_back({std::string(name), {}, {}, {}, 1});
    return engines.back();
}

// The later count less the earlier; none when it went backwards.
std::optional<std::uint64_t> increase(std::optional<std::uint64_t> later,
                                      std::optional<std::uint64_t> earlier) {
    if (!later || !earlier || *later < *earlier)
        return std::nullopt;
    return *later - *earlier;
}

} // namespace

void parseDrmFdinfo(std::string_view text, DrmClientUsage& usage) {
    usage.clientId.reset();
    usage.engines.clear();
    fs::forEachLine(text, [&](std::string_view line) {
        const auto colon = line.find(':');
        if (colon == std::string_view::npos || !line.starts_with("drm-"))
            return;
        const auto key = line.substr(0, colon);
        const auto number = leadingNumber(line.substr(colon + 1));
        if (!number)
            return;
        auto suffix = [&](std::string_view prefix) {
            return key.starts_with(prefix) && key.size() > prefix.size() ? key.substr(prefix.size())
                                                                         : std::string_view{};
        };
        if (key == "drm-client-id") {
            usage.clientId = *number;
        } else if (const auto name = suffix("drm-engine-capacity-"); !name.empty()) {
            engineNamed(usage.engines, name).capacity =
                static_cast<unsigned>(std::clamp<std::uint64_t>(*number, 1, 64));
        } else if (const auto name = suffix("drm-engine-"); !name.empty()) {
            engineNamed(usage.engines, name).busyNs = *number;
        } else if (const auto name = suffix("drm-total-cycles-"); !name.empty()) {
            engineNamed(usage.engines, name).totalCycles = *number;
        } else if (const auto name = suffix("drm-cycles-"); !name.empty()) {
            engineNamed(usage.engines, name).cycles = *number;
        }
    });
}

struct IntelBusy::Card {
    std::string pciAddress;
    std::string runtimeStatus; // path of the device's power/runtime_status
    std::string suspendedTime; // and of power/runtime_suspended_time, in milliseconds
    std::optional<std::string> lastSuspendedTime;
    Source source = Source::none;

    std::vector<std::string> residencyFiles; // one per graphics tile, milliseconds
    std::vector<std::uint64_t> lastIdle;
    std::chrono::steady_clock::time_point lastDate;

    std::vector<Client> clients;
    unsigned generation = 0;
    std::vector<ClientSample> samples;
    bool engineStatsSeen = false;
};

IntelBusy::IntelBusy(std::string root, Clock& clock)
    : root_(std::move(root)), procDir_(fs::underRoot(root_, "/proc")), clock_(clock) {
    findCards();
    foundClients_.resize(cards_.size());
}

IntelBusy::~IntelBusy() = default;

void IntelBusy::findCards() {
    const auto drmDir = fs::underRoot(root_, "/sys/class/drm/");
    const auto entries = fs::listDirectory(drmDir);
    // Cards first, then the render nodes of the same devices.
    for (bool cardPass : {true, false}) {
        for (const auto& name : entries) {
            const bool isCard = name.starts_with("card");
            if (name.find('-') != std::string::npos || isCard != cardPass ||
                (!isCard && !name.starts_with("render")))
                continue; // a connector, or another kind of node
            const auto uevent = fs::readFile(drmDir + name + "/device/uevent", 4096);
            if (!uevent)
                continue;
            const auto driver = ueventValue(*uevent, "DRIVER");
            const auto pci = ueventValue(*uevent, "PCI_SLOT_NAME");
            if ((driver != "i915" && driver != "xe") || pci.empty())
                continue;
            auto card = std::find_if(cards_.begin(), cards_.end(),
                                     [&](const Card& c) { return c.pciAddress == pci; });
            if (card == cards_.end()) {
                if (!isCard)
                    continue;
                Card added;
                added.pciAddress = pci;
                const auto dir = drmDir + name;
                added.runtimeStatus = dir + "/device/power/runtime_status";
                added.suspendedTime = dir + "/device/power/runtime_suspended_time";
                bool enabled = true;
                auto checkEnabled = [&](const std::string& flagFile) {
                    const auto flag = fs::readAttribute(flagFile);
                    enabled = enabled && !(flag && fs::parseUnsigned(*flag) == 0u);
                };
                auto addResidency = [&](const std::string& file) {
                    if (!fs::entryExists(file))
                        return;
                    added.residencyFiles.push_back(file);
                    checkEnabled(file.substr(0, file.rfind('/')) + "/rc6_enable");
                };
                if (driver == "i915") {
                    for (const auto& gt : fs::listDirectory(dir + "/gt"))
                        addResidency(dir + "/gt/" + gt + "/rc6_residency_ms");
                    if (added.residencyFiles.empty())
                        addResidency(dir + "/power/rc6_residency_ms");
                    else
                        checkEnabled(dir + "/power/rc6_enable");
                } else {
                    for (const auto& tile : fs::listDirectory(dir + "/device"))
                        if (tile.starts_with("tile"))
                            for (const auto& gt : fs::listDirectory(dir + "/device/" + tile))
                                addResidency(dir + "/device/" + tile + "/" + gt +
                                             "/gtidle/idle_residency_ms");
                }
                if (!enabled)
                    added.residencyFiles.clear();
                // The engine times need a kernel that reports them; whether it does shows only
                // once a client is read.
                added.source =
                    added.residencyFiles.empty() ? Source::clientEngineTime : Source::idleResidency;
                cards_.push_back(std::move(added));
                card = std::prev(cards_.end());
            }
            nodes_.emplace_back(name, static_cast<std::size_t>(card - cards_.begin()));
        }
    }
}

std::vector<std::string> IntelBusy::cards() const {
    std::vector<std::string> addresses;
    for (const auto& card : cards_)
        addresses.push_back(card.pciAddress);
    return addresses;
}

IntelBusy::Card* IntelBusy::find(std::string_view pciAddress) {
    auto card = std::find_if(cards_.begin(), cards_.end(),
                             [&](const Card& c) { return c.pciAddress == pciAddress; });
    return card == cards_.end() ? nullptr : &*card;
}

const IntelBusy::Card* IntelBusy::find(std::string_view pciAddress) const {
    return const_cast<IntelBusy*>(this)->find(pciAddress);
}

IntelBusy::Source IntelBusy::source(std::string_view pciAddress) const {
    const Card* card = find(pciAddress);
    return card ? card->source : Source::none;
}

bool IntelBusy::readProcFile(int procFd, const std::string& relative, std::string& content) {
    // One read: the kernel prints an fdinfo file whole on the first one.
    content.resize(8192);
    const int fd = ::openat(procFd, relative.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        content.clear();
        return false;
    }
    ssize_t length = 0;
    do
        length = ::read(fd, content.data(), content.size());
    while (length < 0 && errno == EINTR);
    ::close(fd);
    content.resize(static_cast<std::size_t>(std::max<ssize_t>(length, 0)));
    return length > 0;
}

std::optional<std::uint64_t> IntelBusy::clientIdOf(int procFd, const std::string& fdinfo) {
    if (!readProcFile(procFd, fdinfo, scanBuffer_))
        return std::nullopt;
    std::optional<std::uint64_t> id;
    fs::forEachLine(scanBuffer_, [&](std::string_view line) {
        if (line.starts_with("drm-client-id:"))
            id = leadingNumber(line.substr(line.find(':') + 1));
    });
    return id;
}

IntelBusy::SearchCount IntelBusy::rescan() {
    SearchCount count;
    ++search_;
    // Only awake cards without a residency counter are searched for: reading a client of a
    // sleeping card could wake it.
    std::vector<bool> wanted(cards_.size(), false);
    for (std::size_t i = 0; i < cards_.size(); ++i)
        wanted[i] = cards_[i].source == Source::clientEngineTime &&
                    fs::readAttribute(cards_[i].runtimeStatus) != "suspended";

    const int procFd = std::find(wanted.begin(), wanted.end(), true) == wanted.end()
                           ? -1
                           : ::open(procDir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* processes = procFd < 0 ? nullptr : ::opendir(procDir_.c_str());
    if (processes) {
        std::string path;
        char target[256];
        while (const dirent* process = ::readdir(processes)) {
            const std::string_view name = process->d_name;
            int pid = 0;
            const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), pid);
            if (ec != std::errc() || end != name.data() + name.size() || pid <= 0)
                continue;
            auto [known, added] = processes_.try_emplace(pid);
            const bool due = (search_ + static_cast<unsigned>(pid)) % refreshSearches == 0;
            known->second.search = search_;
            if (!added && !due && known->second.clients.empty())
                continue;
            known->second.clients.clear();
            // Other users' descriptors are closed to us: the open fails.
            path.assign(name).append("/fd");
            const int fdDirFd = ::openat(procFd, path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fdDirFd < 0)
                continue;
            DIR* descriptors = ::fdopendir(fdDirFd);
            if (!descriptors) {
                ::close(fdDirFd);
                continue;
            }
            ++count.processes;
            while (const dirent* descriptor = ::readdir(descriptors)) {
                const ssize_t length =
                    ::readlinkat(fdDirFd, descriptor->d_name, target, sizeof target);
                if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target)
                    continue;
                const std::string_view link(target, static_cast<std::size_t>(length));
                if (!link.starts_with(deviceNodes))
                    continue;
                const auto nodeName = link.substr(deviceNodes.size());
                const auto node = std::find_if(nodes_.begin(), nodes_.end(),
                                               [&](const auto& n) { return n.first == nodeName; });
                if (node == nodes_.end() || !wanted[node->second])
                    continue;
                path.assign(name).append("/fdinfo/").append(descriptor->d_name);
                if (const auto id = clientIdOf(procFd, path))
                    known->second.clients.push_back({node->second, {path, *id}});
            }
            ::closedir(descriptors);
        }
        ::closedir(processes);
    }
    if (procFd >= 0)
        ::close(procFd);
    // Processes gone since the last search are forgotten; where none was searched, all are.
    std::erase_if(processes_, [this](const auto& entry) { return entry.second.search != search_; });

    // A client shared by several descriptors or processes is read through the first found.
    std::vector<std::vector<Client>> found(cards_.size());
    for (const auto& [pid, known] : processes_)
        for (const auto& [card, client] : known.clients)
            found[card].push_back(client);
    for (auto& clients : found) {
        std::sort(clients.begin(), clients.end(), [](const Client& a, const Client& b) {
            return a.id != b.id ? a.id < b.id : a.fdinfo < b.fdinfo;
        });
        clients.erase(std::unique(clients.begin(), clients.end(),
                                  [](const Client& a, const Client& b) { return a.id == b.id; }),
                      clients.end());
        count.clients += static_cast<int>(clients.size());
    }
    const std::lock_guard lock(handOverMutex_);
    foundClients_ = std::move(found);
    ++foundGeneration_;
    return count;
}

std::optional<double> IntelBusy::busyPercent(std::string_view pciAddress) {
    Card* card = find(pciAddress);
    if (!card)
        return std::nullopt;
    switch (card->source) {
    case Source::idleResidency:
        return residencyBusy(*card);
    case Source::clientEngineTime:
        return engineBusy(*card);
    case Source::none:
        break;
    }
    return std::nullopt;
}

std::optional<double> IntelBusy::residencyBusy(Card& card) {
    // The counter stands still while the card sleeps, which would read as busy: an interval
    // with a sleep in it gives no figure. The sleep shows in the device's suspended time.
    auto suspended = fs::readAttribute(card.suspendedTime);
    if (suspended != card.lastSuspendedTime)
        card.lastIdle.clear();
    card.lastSuspendedTime = std::move(suspended);

    std::vector<std::uint64_t> idle;
    idle.reserve(card.residencyFiles.size());
    for (const auto& file : card.residencyFiles) {
        const auto text = fs::readAttribute(file);
        const auto value = text ? fs::parseUnsigned(*text) : std::nullopt;
        if (!value) {
            card.lastIdle.clear();
            return std::nullopt;
        }
        idle.push_back(*value);
    }
    const auto now = clock_.now();
    std::optional<double> busiest;
    const double wallMs = std::chrono::duration<double, std::milli>(now - card.lastDate).count();
    if (card.lastIdle.size() == idle.size() && wallMs > 0) {
        for (std::size_t i = 0; i < idle.size(); ++i) {
            const auto idleMs = increase(idle[i], card.lastIdle[i]);
            if (!idleMs) {
                busiest.reset(); // a reset counter says nothing about this interval
                break;
            }
            const double busy = std::clamp(1 - static_cast<double>(*idleMs) / wallMs, 0.0, 1.0);
            busiest = std::max(busiest.value_or(0), busy * 100);
        }
    }
    card.lastIdle = std::move(idle);
    card.lastDate = now;
    return busiest;
}

std::optional<double> IntelBusy::engineBusy(Card& card) {
    {
        const std::lock_guard lock(handOverMutex_);
        if (card.generation != foundGeneration_) {
            card.generation = foundGeneration_;
            card.clients = foundClients_[static_cast<std::size_t>(&card - cards_.data())];
        }
    }
    const int procFd = ::open(procDir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (procFd < 0)
        return std::nullopt;
    const auto now = clock_.now();
    // Each class's share of its engines, summed over the clients.
    std::vector<std::pair<std::string, double>> classes;
    bool measured = false;
    std::vector<ClientSample> samples;
    samples.reserve(card.clients.size());
    DrmClientUsage usage;
    for (const auto& client : card.clients) {
        if (!readProcFile(procFd, client.fdinfo, tickBuffer_))
            continue; // closed since the search
        parseDrmFdinfo(tickBuffer_, usage);
        // A descriptor number reused by another file since the search shows another id or none.
        if (usage.clientId != client.id || usage.engines.empty())
            continue;
        const auto last = std::find_if(card.samples.begin(), card.samples.end(),
                                       [&](const ClientSample& s) { return s.id == client.id; });
        const double wallNs =
            last == card.samples.end()
                ? 0
                : std::chrono::duration<double, std::nano>(now - last->date).count();
        for (const auto& engine : usage.engines) {
            if (last == card.samples.end())
                break;
            const auto before = std::find_if(last->engines.begin(), last->engines.end(),
                                             [&](const auto& e) { return e.name == engine.name; });
            if (before == last->engines.end())
                continue;
            std::optional<double> share;
            if (engine.cycles && engine.totalCycles) {
                const auto cycles = increase(engine.cycles, before->cycles);
                const auto total = increase(engine.totalCycles, before->totalCycles);
                if (cycles && total && *total > 0)
                    share = static_cast<double>(*cycles) / static_cast<double>(*total);
            } else if (const auto busy = increase(engine.busyNs, before->busyNs);
                       busy && wallNs > 0) {
                share = static_cast<double>(*busy) / wallNs;
            }
            if (!share)
                continue;
            measured = true;
            auto slot = std::find_if(classes.begin(), classes.end(),
                                     [&](const auto& c) { return c.first == engine.name; });
            if (slot == classes.end())
                slot = classes.insert(classes.end(), {engine.name, 0.0});
            slot->second += *share / engine.capacity;
        }
        samples.push_back({client.id, now, usage.engines});
    }
    ::close(procFd);
    card.samples = std::move(samples);

    if (!measured)
        return card.engineStatsSeen ? std::optional<double>(0) : std::nullopt;
    card.engineStatsSeen = true;
    double busiest = 0;
    for (const auto& [name, share] : classes)
        busiest = std::max(busiest, share);
    return std::clamp(busiest, 0.0, 1.0) * 100;
}

} // namespace orb::platform
