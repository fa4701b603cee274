#include "monitor/ProcessWalk.h"

#include "monitor/ProcessDisplayName.h"
#include "platform/Clock.h"

#include <QHash>
#include <algorithm>
#include <numeric>

namespace orb {

ProcessWalk::ProcessWalk(platform::ProcessTable& table, platform::Clock& clock)
    : table_(table), clock_(clock) {}

ProcessSnapshot ProcessWalk::updateProcesses() {
    ++walk_;
    QHash<int, QString> applications;
    for (const auto& application : table_.runningApplications()) {
        if (application.localizedName)
            applications.insert(application.processIdentifier,
                                QString::fromStdString(*application.localizedName));
        else
            applications.remove(application.processIdentifier);
    }
    const auto now = clock_.now(); // one time for the whole walk

    if (!table_.listProcesses(pids_))
        pids_.clear();
    std::vector<Group> groups;
    QHash<QString, std::size_t> groupOf;
    for (int pid : pids_) {
        if (pid <= 0 || !table_.readProcess(pid, reading_))
            continue; // gone since the listing, or not ours to read: still counted
        const auto name = groupName(pid, applications);
        if (!name)
            continue;
        const double cpu = cpuShare(pid, now);
        auto slot = groupOf.constFind(*name);
        if (slot == groupOf.cend()) {
            slot = groupOf.insert(*name, groups.size());
            groups.push_back({*name, pid, 0, 0, 0});
        }
        Group& group = groups[*slot];
        group.count += 1;
        group.cpu += cpu;
        group.memory += static_cast<double>(reading_.footprint) / 1024 / 1024;
    }

    // Forget what belongs to processes that have gone, so that neither map grows as
    // identifiers churn.
    std::erase_if(processCPUTracker_,
                  [this](const auto& entry) { return entry.second.walk != walk_; });
    std::erase_if(displayNames_, [this](const auto& entry) { return entry.second.walk != walk_; });
    auto snapshot = publishedLists(groups, static_cast<int>(pids_.size()));
    snapshot.trackedCount = static_cast<int>(processCPUTracker_.size());
    return snapshot;
}

std::optional<QString> ProcessWalk::groupName(int pid, const QHash<int, QString>& applications) {
    const auto application = applications.constFind(pid);
    const bool hasApplication = application != applications.cend();
    if (hasApplication && !application->isEmpty())
        return processDisplayName(*application);
    if (!reading_.path.empty()) {
        const auto slash = reading_.path.rfind('/');
        return displayNameOf(slash == std::string_view::npos ? reading_.path
                                                             : reading_.path.substr(slash + 1));
    }
    if (!reading_.name.empty())
        return displayNameOf(reading_.name);
    // An application the desktop lists without a name is left out.
    if (hasApplication)
        return std::nullopt;
    return QStringLiteral("Unknown");
}

const QString& ProcessWalk::displayNameOf(std::string_view systemName) {
    auto known = displayNames_.find(systemName);
    if (known == displayNames_.end()) {
        // Invalid UTF-8 is shown with replacement characters.
        const auto text =
            QString::fromUtf8(systemName.data(), static_cast<qsizetype>(systemName.size()));
        known =
            displayNames_.emplace(std::string(systemName), DisplayName{processDisplayName(text), 0})
                .first;
    }
    known->second.walk = walk_;
    return known->second.text;
}

double ProcessWalk::cpuShare(int pid, std::chrono::steady_clock::time_point now) {
    auto [entry, added] = processCPUTracker_.try_emplace(pid);
    CpuTime& last = entry->second;
    double share = 0;
    if (!added && last.startTime == reading_.startTime) {
        const double elapsed = std::chrono::duration<double>(now - last.date).count();
        if (elapsed > 0) {
            // A count that went backwards is taken as no time at all.
            const auto used = reading_.cpuTime > last.time ? reading_.cpuTime - last.time : 0;
            share = static_cast<double>(used) / 1e9 / elapsed * 100;
        }
    }
    last = {reading_.startTime, reading_.cpuTime, now, walk_};
    return share;
}

ProcessSnapshot ProcessWalk::publishedLists(const std::vector<Group>& groups,
                                            int processCount) const {
    // A group in both lists is one record, with one identifier.
    std::vector<QUuid> ids(groups.size());
    auto topBy = [&](double Group::*field) {
        std::vector<std::size_t> order(groups.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return groups[a].*field > groups[b].*field;
        });
        AppProcessList list;
        list.reserve(std::min<qsizetype>(listLength, static_cast<qsizetype>(order.size())));
        for (std::size_t i : order) {
            if (list.size() == listLength)
                break;
            const Group& group = groups[i];
            if (ids[i].isNull())
                ids[i] = QUuid::createUuid();
            list.append({ids[i], group.pid, group.name, group.count, group.cpu, group.memory,
                         group.cpu, 0});
        }
        return list;
    };
    ProcessSnapshot snapshot;
    snapshot.byMemory = topBy(&Group::memory);
    snapshot.byCpu = topBy(&Group::cpu);
    snapshot.processCount = processCount;
    return snapshot;
}

} // namespace orb
