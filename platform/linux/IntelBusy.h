#pragma once

#include "platform/linux/DrmClientSearch.h"
#include "platform/linux/DrmFdinfo.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orb::platform {

class Clock;

// How busy an Intel card is. Those drivers give no busy figure of their own: it comes from the
// engine time of the card's clients or from the card's idle residency.
class IntelBusySource {
public:
    virtual ~IntelBusySource() = default;
    // Percent of the time since the last call that the card at `pciAddress` ("0000:00:02.0")
    // was busy, 0 to 100; empty while unknown. Never called for a card that is asleep.
    virtual std::optional<double> busyPercent(std::string_view pciAddress) = 0;
};

// How busy each Intel graphics card (i915 or xe driver) has been between two reads, by PCI
// address. Each card takes the first source it has:
//
// 1. Idle residency: the time each graphics tile spent in its idle power state (i915
//    gt/gt<N>/rc6_residency_ms, or power/rc6_residency_ms before multi-tile kernels; xe
//    device/tile<T>/gt<N>/gtidle/idle_residency_ms). Busy is 1 - Δidle/Δwall of the busiest
//    tile. It counts every process's work, whoever runs it. It reads a little high: the hardware
//    enters the idle state only after a short delay, so short gaps between jobs count as busy.
//    A card whose rc6_enable reads 0 never enters the state and falls through to 2.
// 2. Engine time of the DRM clients in /proc/<pid>/fdinfo: per engine class, the clients' busy
//    time (i915, nanoseconds over wall time) or busy cycles over elapsed cycles (xe), shared over
//    the class's engines; the card is as busy as its busiest class. Only the current user's
//    processes can be read, so other users' work on the card is not counted. A client appears
//    under every descriptor and process that shares it, and is counted once by its client id.
//    The clients are found by rescan(), which runs with the process walk; each read then opens
//    only the fdinfo files found. A process rarely opens its first graphics device long after it
//    started, so a search lists the descriptors of new processes and of those holding clients,
//    and those of every other process once in `refreshSearches` searches. Until a client has shown
//    engine statistics the card has no figure (a kernel without them, or no client at all since
//    start).
//
// A card with neither has no figure; clock frequencies are never taken for one.
//
// rescan() belongs to the process walk's thread and every other call to the tick's; the list of
// clients passes from one to the other under a lock held only to swap it.
class IntelBusy final : public IntelBusySource {
public:
    enum class Source { none, idleResidency, clientEngineTime };

    static constexpr unsigned refreshSearches = DrmClientSearch::refreshSearches;
    using SearchCount = DrmClientSearch::Count;

    IntelBusy(std::string root, Clock& clock);
    ~IntelBusy() override;
    IntelBusy(const IntelBusy&) = delete;
    IntelBusy& operator=(const IntelBusy&) = delete;

    // The PCI addresses of the Intel cards found when it was made.
    std::vector<std::string> cards() const;
    Source source(std::string_view pciAddress) const;

    // Looks for the DRM clients of the awake cards measured by engine time among the processes
    // whose descriptors may be listed: the current user's. Lists no process at all where no card
    // needs it.
    SearchCount rescan();

    // Percent busy since the previous call for the card, from 0 to 100; none on the first call,
    // for a card without a source, when a counter went backwards, or when the card slept since
    // the previous call. Only for an awake card: reading a sleeping one would wake it.
    std::optional<double> busyPercent(std::string_view pciAddress) override;

private:
    using Client = DrmClientSearch::Client;
    struct ClientSample {
        std::uint64_t id = 0;
        std::chrono::steady_clock::time_point date;
        std::vector<DrmEngineUsage> engines;
    };
    struct Card;

    Card* find(std::string_view pciAddress);
    const Card* find(std::string_view pciAddress) const;
    void findCards();
    std::optional<double> residencyBusy(Card& card);
    std::optional<double> engineBusy(Card& card);

    std::string root_;
    std::string procDir_;
    Clock& clock_;
    std::vector<Card> cards_;
    std::vector<DrmNode> nodes_;

    // Filled by rescan, taken by the tick.
    std::mutex handOverMutex_;
    std::vector<std::vector<Client>> foundClients_;
    unsigned foundGeneration_ = 0;

    DrmClientSearch search_; // the walk thread's
    std::string tickBuffer_; // the tick's
};

} // namespace orb::platform
