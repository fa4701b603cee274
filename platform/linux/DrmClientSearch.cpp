#include "platform/linux/DrmClientSearch.h"

#include "platform/linux/DrmFdinfo.h"
#include "platform/linux/SysFs.h"

#include <algorithm>
#include <charconv>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace orb::platform {

namespace fs = linux_fs;

namespace {

constexpr std::string_view deviceNodes = "/dev/dri/";

} // namespace

DrmClientSearch::DrmClientSearch(std::string procDir) : procDir_(std::move(procDir)) {}

std::optional<std::uint64_t> DrmClientSearch::clientIdOf(int procFd, const std::string& fdinfo) {
    if (!readProcFile(procFd, fdinfo, buffer_))
        return std::nullopt;
    std::optional<std::uint64_t> id;
    fs::forEachLine(buffer_, [&](std::string_view line) {
        if (line.starts_with("drm-client-id:"))
            id = leadingNumber(line.substr(line.find(':') + 1));
    });
    return id;
}

DrmClientSearch::Count DrmClientSearch::search(const std::vector<DrmNode>& nodes,
                                               const std::vector<bool>& wanted,
                                               std::vector<std::vector<Client>>& found) {
    Count count;
    ++search_;
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
                const auto node = std::find_if(nodes.begin(), nodes.end(),
                                               [&](const auto& n) { return n.first == nodeName; });
                if (node == nodes.end() || !wanted[node->second])
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
    found.assign(wanted.size(), {});
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
    return count;
}

} // namespace orb::platform
