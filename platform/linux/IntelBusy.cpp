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

// The value of a KEY=value line of a uevent file; empty when absent.
std::string ueventValue(std::string_view text, std::string_view key) {
    std::string found;
    fs::forEachLine(text, [&](std::string_view line) {
        if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=')
            found = fs::trim(line.substr(key.size() + 1));
    });
    return found;
}

// The later count less the earlier; none when it went backwards.
std::optional<std::uint64_t> increase(std::optional<std::uint64_t> later,
                                      std::optional<std::uint64_t> earlier) {
    if (!later || !earlier || *later < *earlier)
        return std::nullopt;
    return *later - *earlier;
}

} // namespace

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
    : root_(std::move(root)), procDir_(fs::underRoot(root_, "/proc")), clock_(clock),
      search_(procDir_) {
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

IntelBusy::SearchCount IntelBusy::rescan() {
    // Only awake cards without a residency counter are searched for: reading a client of a
    // sleeping card could wake it.
    std::vector<bool> wanted(cards_.size(), false);
    for (std::size_t i = 0; i < cards_.size(); ++i)
        wanted[i] = cards_[i].source == Source::clientEngineTime &&
                    fs::readAttribute(cards_[i].runtimeStatus) != "suspended";
    std::vector<std::vector<Client>> found;
    const SearchCount count = search_.search(nodes_, wanted, found);
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
