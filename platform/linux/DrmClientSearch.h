#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace orb::platform {

// A device node of /dev/dri ("card0", "renderD128") and the index of the card it belongs to.
using DrmNode = std::pair<std::string, std::size_t>;

// Finds the DRM clients of graphics cards among the processes whose descriptors may be listed
// (the current user's): a descriptor open on one of the cards' device nodes whose fdinfo names a
// client id. A process rarely opens its first graphics device long after it started, so a search
// lists the descriptors of new processes and of those holding clients, and those of every other
// process once in `refreshSearches` searches.
class DrmClientSearch {
public:
    static constexpr unsigned refreshSearches = 10;

    struct Client {
        std::string fdinfo; // below the /proc folder
        std::uint64_t id = 0;
    };
    // What one search looked at: the processes whose descriptors were listed, and the distinct
    // clients found.
    struct Count {
        int processes = 0;
        int clients = 0;
    };

    explicit DrmClientSearch(std::string procDir);

    // The clients of each card whose `wanted` entry is true, into `found` (one list per card);
    // a client shared by several descriptors or processes is listed once, through the first
    // found. Lists no process at all where no card is wanted.
    Count search(const std::vector<DrmNode>& nodes, const std::vector<bool>& wanted,
                 std::vector<std::vector<Client>>& found);

private:
    // What the last listing of a process's descriptors found.
    struct ProcessClients {
        std::vector<std::pair<std::size_t, Client>> clients; // with the card's index
        unsigned search = 0;                                 // the last search that saw it
    };

    // The client id of one descriptor's fdinfo; none when it is not a DRM client.
    std::optional<std::uint64_t> clientIdOf(int procFd, const std::string& fdinfo);

    std::string procDir_;
    std::unordered_map<int, ProcessClients> processes_;
    unsigned search_ = 0;
    std::string buffer_;
};

} // namespace orb::platform
