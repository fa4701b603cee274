#include "platform/linux/LinuxNetworkInterfaces.h"

#include "platform/linux/SysFs.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace orb::platform {

namespace fs = linux_fs;

namespace {

constexpr int loopbackType = 772; // ARPHRD_LOOPBACK
constexpr int radiotapType = 803; // ARPHRD_IEEE80211_RADIOTAP

enum class Lookup { Present, Absent, NotADirectory };

// The class directory, opened once per pass: the files of each interface are looked up relative
// to it, so the kernel does not resolve the whole path again for each of them. Below a fixture
// root they are read by their whole path instead, which keeps their links inside the root.
class ClassDirectory {
public:
    explicit ClassDirectory(const std::string& path)
        : fd_(fs::openInsideRoot(path, O_RDONLY | O_DIRECTORY)),
          path_(fs::belowRoot(path) ? path + '/' : std::string()) {}
    ~ClassDirectory() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    ClassDirectory(const ClassDirectory&) = delete;
    ClassDirectory& operator=(const ClassDirectory&) = delete;

    // One lstat tells whether an entry is there and, on the way, whether the interface's entry
    // is a directory at all.
    Lookup lookUp(const std::string& relative) const {
        struct stat info;
        if (::fstatat(fd_, relative.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)
            return Lookup::Present;
        return errno == ENOTDIR ? Lookup::NotADirectory : Lookup::Absent;
    }
    bool exists(const std::string& relative) const { return lookUp(relative) == Lookup::Present; }
    // A number on the first line of a small file.
    std::optional<std::uint64_t> readNumber(const std::string& relative) const {
        const auto text = path_.empty() ? fs::readAttributeAt(fd_, relative)
                                        : fs::readAttribute(path_ + relative);
        return text ? fs::parseUnsigned(*text) : std::nullopt;
    }
    std::optional<std::int64_t> readIndex(const std::string& relative) const {
        auto value = readNumber(relative);
        if (!value || *value > static_cast<std::uint64_t>(INT64_MAX))
            return std::nullopt;
        return static_cast<std::int64_t>(*value);
    }

private:
    int fd_;
    std::string path_; // with a trailing '/', where the files are read by their whole path
};

} // namespace

LinkKind classifyLink(const LinkFacts& link) {
    if (link.name == "lo" || link.type == loopbackType || link.type == radiotapType)
        return LinkKind::Virtual;
    if (link.isBridge || link.isBond || link.isTunTap || link.isStacked)
        return LinkKind::Virtual;
    if (link.hasDevice || hasPhysicalLinkName(link.name))
        return LinkKind::Physical;
    return LinkKind::Virtual;
}

NetDevRows parseNetDev(std::string_view text) {
    // "  eth0: rx_bytes rx_packets ... (8 receive columns) tx_bytes ..."; the two header lines
    // have no colon. Old kernels print no space between the colon and a wide first number. Only
    // columns 0 and 8 are wanted, so the fields are walked rather than split: the file has a
    // line per interface and is read on every tick.
    NetDevRows rows;
    fs::forEachLine(text, [&](std::string_view line) {
        auto colon = line.find(':');
        if (colon == std::string_view::npos)
            return;
        auto name = fs::trim(line.substr(0, colon));
        std::string_view rest = line.substr(colon + 1);
        std::string_view received, sent;
        for (int column = 0; column <= 8; ++column) {
            const auto start = rest.find_first_not_of(" \t");
            if (start == std::string_view::npos)
                return;
            rest.remove_prefix(start);
            const auto field = rest.substr(0, rest.find_first_of(" \t"));
            rest.remove_prefix(field.size());
            if (column == 0)
                received = field;
            else if (column == 8)
                sent = field;
        }
        auto receivedBytes = fs::parseUnsigned(received);
        auto sentBytes = fs::parseUnsigned(sent);
        if (!name.empty() && receivedBytes && sentBytes)
            rows.emplace_back(std::string(name), LinkStatistics{*receivedBytes, *sentBytes});
    });
    return rows;
}

LinuxNetworkInterfaces::LinuxNetworkInterfaces(const std::string& root)
    : classDir_(fs::underRoot(root, "/sys/class/net")),
      netDev_(fs::underRoot(root, "/proc/net/dev")) {}

void LinuxNetworkInterfaces::classify(const std::vector<Entry*>& fresh) {
    if (fresh.empty())
        return;
    // Facts of the links seen for the first time, read at most once per link and only as far as
    // they can change the outcome. Most links on a busy host (the host ends of virtual pairs,
    // bridges, taps) have no device and no physical name, so nothing can make them count: one
    // lookup settles them.
    const ClassDirectory dir(classDir_);
    struct Candidate {
        Entry* entry;
        LinkFacts facts;
        std::optional<std::int64_t> parent;
    };
    std::vector<Candidate> candidates;
    for (Entry* entry : fresh) {
        const std::string& name = entry->first;
        Link& link = entry->second;
        const Lookup device = link.inSysfs ? dir.lookUp(name + "/device") : Lookup::NotADirectory;
        if (device == Lookup::NotADirectory) {
            // Counters without a sysfs entry: only the name can tell. Entries of the class
            // directory that are not directories (bonding_masters) are not links.
            if (link.netDev)
                link.kind = classifyLink({.name = name});
            continue;
        }
        LinkFacts facts{.name = name, .hasDevice = device == Lookup::Present};
        if (!facts.hasDevice && !hasPhysicalLinkName(name)) {
            link.kind = LinkKind::Virtual;
            continue;
        }
        link.index = dir.readIndex(name + "/ifindex");
        link.indexRead = true;
        candidates.push_back({entry, std::move(facts), dir.readIndex(name + "/iflink")});
    }
    if (candidates.empty())
        return;

    // A link stacked on another one here (VLAN, macvlan, ipvlan) carries traffic counted on that
    // one; a virtual pair's peer usually lives in another namespace and is not here. The
    // indexes already known usually settle it; the others are read once, only when they do not.
    std::unordered_set<std::int64_t> present;
    auto collect = [&](bool readMissing) {
        for (auto& [name, link] : links_) {
            if (readMissing && !link.indexRead && link.inSysfs) {
                link.index = dir.readIndex(name + "/ifindex");
                link.indexRead = true;
            }
            if (link.index)
                present.insert(*link.index);
        }
    };
    collect(false);
    bool everyIndexRead = false;
    auto isPresent = [&](std::int64_t index) {
        if (!present.contains(index) && !everyIndexRead) {
            collect(true);
            everyIndexRead = true;
        }
        return present.contains(index);
    };
    for (auto& [entry, facts, parent] : candidates) {
        const auto& [name, link] = *entry;
        facts.isStacked = link.index && parent && *link.index != *parent && isPresent(*parent);
        if (!facts.isStacked) {
            facts.type = static_cast<int>(dir.readIndex(name + "/type").value_or(-1));
            facts.isBridge = dir.exists(name + "/bridge");
            facts.isBond = dir.exists(name + "/bonding");
            facts.isTunTap = dir.exists(name + "/tun_flags");
        }
        entry->second.kind = classifyLink(facts);
    }
}

namespace {

std::optional<LinkStatistics> sysfsStatistics(const ClassDirectory& dir, const std::string& name) {
    auto received = dir.readNumber(name + "/statistics/rx_bytes");
    auto sent = dir.readNumber(name + "/statistics/tx_bytes");
    if (!received || !sent)
        return std::nullopt;
    return LinkStatistics{*received, *sent};
}

} // namespace

bool LinuxNetworkInterfaces::listingDue(const NetDevRows& netDev) {
    // /proc/net/dev lists the same links as the class directory, so a change of its names is
    // what tells that the directory changed; the timer covers trees where the two differ.
    constexpr auto relistEvery = std::chrono::seconds(10);
    const auto now = std::chrono::steady_clock::now();
    const bool sameNames =
        netDev.size() == netDevNames_.size() &&
        std::equal(netDev.begin(), netDev.end(), netDevNames_.begin(),
                   [](const auto& row, const std::string& name) { return row.first == name; });
    if (!sameNames) {
        netDevNames_.clear();
        for (const auto& row : netDev)
            netDevNames_.push_back(row.first);
    }
    if (sameNames && !relist_ && now - listedAt_ < relistEvery)
        return false;
    relist_ = false;
    listedAt_ = now;
    return true;
}

std::optional<std::vector<NetworkInterface>> LinuxNetworkInterfaces::interfaces() {
    // With a thousand interfaces the file is over 100 kB: its buffer is kept from pass to pass.
    const bool netDevRead = netDev_.readInto(netDevText_);
    const auto netDev = parseNetDev(netDevText_);
    if (listingDue(netDev) || !netDevRead)
        sysfsNames_ = fs::listDirectory(classDir_);
    const auto& sysfsNames = sysfsNames_;
    if (sysfsNames.empty() && !netDevRead)
        return std::nullopt;

    // Every name once, in the order first seen, each stamped with this pass; the links that are
    // no longer listed are forgotten, so one that comes back under the same name is looked at
    // afresh. Hashed lookups keep a pass linear in the number of interfaces.
    ++pass_;
    std::vector<Entry*> listed, fresh;
    listed.reserve(sysfsNames.size() + netDev.size());
    auto visit = [&](const std::string& name) -> Link& {
        auto [entry, added] = links_.try_emplace(name);
        if (added)
            fresh.push_back(&*entry);
        Link& link = entry->second;
        if (link.pass != pass_) {
            link.pass = pass_;
            link.inSysfs = false;
            link.netDev = nullptr;
            listed.push_back(&*entry);
        }
        return link;
    };
    for (const auto& name : sysfsNames)
        visit(name).inSysfs = true;
    for (const auto& [name, counters] : netDev)
        visit(name).netDev = &counters;
    std::erase_if(links_, [&](const auto& entry) { return entry.second.pass != pass_; });
    classify(fresh);

    // The counters of the first few links stay open from pass to pass (a pread each); any
    // beyond are read relative to the class directory, opened only for them.
    constexpr std::size_t keptCounterLimit = 16;
    std::size_t keptCounters = 0;
    for (const auto& entry : links_)
        keptCounters += entry.second.received.has_value();
    std::unique_ptr<ClassDirectory> dir;
    std::string counterText;
    auto statistics = [&](const std::string& name, Link& link) -> std::optional<LinkStatistics> {
        if (!link.received && keptCounters < keptCounterLimit) {
            link.received.emplace(classDir_ + "/" + name + "/statistics/rx_bytes");
            link.sent.emplace(classDir_ + "/" + name + "/statistics/tx_bytes");
            ++keptCounters;
        }
        if (!link.received) {
            if (!dir)
                dir = std::make_unique<ClassDirectory>(classDir_);
            return sysfsStatistics(*dir, name);
        }
        auto counter = [&](linux_fs::KeptFile& file) -> std::optional<std::uint64_t> {
            if (!file.readInto(counterText, 256))
                return std::nullopt;
            return fs::parseUnsigned(
                std::string_view(counterText).substr(0, counterText.find('\n')));
        };
        auto received = counter(*link.received);
        auto sent = counter(*link.sent);
        if (!received || !sent)
            return std::nullopt;
        return LinkStatistics{*received, *sent};
    };
    std::vector<NetworkInterface> links;
    links.reserve(listed.size());
    for (Entry* entry : listed) {
        auto& [name, link] = *entry;
        if (!link.kind)
            continue;
        NetworkInterface result{name, *link.kind, std::nullopt};
        if (*link.kind != LinkKind::Virtual) {
            result.statistics = link.inSysfs ? statistics(name, link) : std::nullopt;
            relist_ = relist_ || (link.inSysfs && !result.statistics); // gone since the listing
            if (!result.statistics && link.netDev)
                result.statistics = *link.netDev;
        }
        links.push_back(std::move(result));
    }
    return links;
}

} // namespace orb::platform
