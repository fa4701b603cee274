#include "platform/linux/LinuxAccelerators.h"

#include "platform/Accelerator.h"
#include "platform/linux/SysFs.h"

#include <algorithm>
#include <cmath>

namespace orb::platform {

namespace fs = linux_fs;
namespace acceleratorKeys = accelerator;

namespace {

constexpr std::string_view drmClassDirectory = "/sys/class/drm";

// "card0", "card12"; not the connectors ("card1-DP-1") or render nodes.
bool isCardName(std::string_view name) {
    if (!name.starts_with("card") || name.size() == 4)
        return false;
    return name.substr(4).find_first_not_of("0123456789") == std::string_view::npos;
}

// An amdgpu APU's metrics use the integrated layouts (format revisions 2 and 3); discrete cards
// use revision 1. The header is {structure size (16 bits), format revision, content revision}.
bool hasIntegratedMetrics(const std::string& gpuMetrics) {
    const auto header = fs::readFile(gpuMetrics, 4);
    return header && header->size() == 4 && static_cast<unsigned char>((*header)[2]) >= 2;
}

} // namespace

struct LinuxAccelerators::Card {
    std::uint64_t inode = 0;
    bool described = false; // read once the card is first seen awake
    RegistryEntryId id = 0;
    std::string name;      // "card1"
    std::string directory; // its folder below the root, ending in "/sys/class/drm/card1"
    std::string driver;    // "amdgpu", "i915", ...
    std::string pciSlot;   // "0000:00:02.0"
    unsigned vendor = 0, device = 0, revision = 0;
    std::string model;
    bool nvidia = false;
    bool intel = false;
    // The files of the figures the driver gives; empty where it gives none.
    std::string busyFile, vramUsedFile, powerFile;
    std::optional<std::int64_t> vramTotal;
};

LinuxAccelerators::LinuxAccelerators(std::string root, DeviceNameDatabases names,
                                     std::shared_ptr<IntelBusySource> intelBusy)
    : root_(std::move(root)),
      listing_(fs::underRoot(root_, drmClassDirectory), "drm", fs::DeviceEvents::forRoot(root_)),
      names_(std::move(names)), intelBusy_(std::move(intelBusy)) {}

LinuxAccelerators::~LinuxAccelerators() = default;

void LinuxAccelerators::describe(Card& card) {
    const auto dir = card.directory + "/device/";
    if (const auto uevent = fs::readFile(dir + "uevent", 4096)) {
        fs::forEachLine(*uevent, [&](std::string_view line) {
            line = fs::trim(line);
            const auto equals = line.find('=');
            if (equals == std::string_view::npos)
                return;
            const auto key = line.substr(0, equals), value = line.substr(equals + 1);
            if (key == "DRIVER") {
                card.driver = value;
            } else if (key == "PCI_SLOT_NAME") {
                card.pciSlot = value;
            } else if (key == "PCI_ID" && value.size() == 9 && value[4] == ':') {
                card.vendor = parseHexId(value.substr(0, 4)).value_or(0);
                card.device = parseHexId(value.substr(5)).value_or(0);
            }
        });
    }
    if (const auto revision = fs::readAttribute(dir + "revision"))
        card.revision = parseHexId(*revision).value_or(0);
    card.id =
        registryEntryId(kernelDevicePath(root_, std::string(drmClassDirectory) + "/" + card.name));
    card.nvidia = card.driver == "nvidia";
    card.intel = card.driver == "i915" || card.driver == "xe";
    card.model = modelOf(card);

    if (card.driver == "amdgpu") {
        auto existing = [&](const char* file) {
            return fs::entryExists(dir + file) ? dir + file : std::string();
        };
        card.busyFile = existing("gpu_busy_percent");
        card.vramUsedFile = existing("mem_info_vram_used");
        card.vramTotal = fs::readAttributeNumber(dir + "mem_info_vram_total");
        if (!hasIntegratedMetrics(dir + "gpu_metrics")) {
            for (const auto& hwmon : fs::listDirectory(dir + "hwmon")) {
                const auto chip = dir + "hwmon/" + hwmon + "/";
                for (const char* file : {"power1_average", "power1_input"}) {
                    if (card.powerFile.empty() && fs::entryExists(chip + file))
                        card.powerFile = chip + file;
                }
            }
        }
    }
    card.described = true;
}

std::string LinuxAccelerators::modelOf(const Card& card) {
    // Boards that carry their own name give it in `product_name`; most leave it empty.
    if (auto product = fs::readAttribute(card.directory + "/device/product_name");
        product && !product->empty())
        return *product;
    if (card.vendor == 0)
        return {};
    const std::uint64_t key =
        (std::uint64_t(card.vendor) << 24) | (std::uint64_t(card.device) << 8) | card.revision;
    if (auto known = models_.find(key); known != models_.end())
        return known->second;
    constexpr unsigned amd = 0x1002;
    auto name = card.vendor == amd ? amdgpuMarketingName(names_.amdgpuIds, card.device,
                                                         static_cast<std::uint8_t>(card.revision))
                                   : std::nullopt;
    if (!name)
        name = pciDeviceName(names_.pciIds, card.vendor, card.device);
    return models_[key] = name.value_or("");
}

PropertyTable LinuxAccelerators::read(Card& card) {
    PropertyTable properties;
    if (!card.model.empty())
        properties.set(std::string(acceleratorKeys::modelKey), card.model);

    std::optional<int> busy;
    if (!card.busyFile.empty()) {
        if (const auto percent = fs::readAttributeNumber(card.busyFile);
            percent && *percent >= 0 && *percent <= 100)
            busy = static_cast<int>(*percent);
    } else if (card.intel && intelBusy_) {
        if (const auto percent = intelBusy_->busyPercent(card.pciSlot))
            busy = static_cast<int>(std::lround(std::clamp(*percent, 0.0, 100.0)));
    }
    if (busy) {
        PropertyTable statistics{{std::string(acceleratorKeys::deviceUtilizationKey), *busy}};
        if (!card.vramUsedFile.empty()) {
            if (const auto used = fs::readAttributeNumber(card.vramUsedFile); used && *used >= 0)
                statistics.set(std::string(acceleratorKeys::inUseMemoryKey), *used);
        }
        if (card.vramTotal && *card.vramTotal >= 0)
            statistics.set(std::string(acceleratorKeys::allocMemoryKey), *card.vramTotal);
        properties.set(std::string(acceleratorKeys::statisticsKey), std::move(statistics));
    }
    if (!card.powerFile.empty()) {
        if (const auto microwatts = fs::readAttributeNumber(card.powerFile);
            microwatts && *microwatts >= 0)
            properties.set(std::string(acceleratorKeys::powerKey),
                           static_cast<double>(*microwatts) / 1e6);
    }
    return properties;
}

std::vector<std::unique_ptr<RegistryService>> LinuxAccelerators::services() {
    std::vector<std::unique_ptr<RegistryService>> services;
    const auto classDir = fs::underRoot(root_, drmClassDirectory);
    auto names = listing_.entries();
    std::erase_if(names, [](const std::string& name) { return !isCardName(name); });
    std::erase_if(cards_, [&](const auto& card) {
        return !std::binary_search(names.begin(), names.end(), card.first);
    });

    for (const auto& name : names) {
        const auto dir = classDir + "/" + name;
        const auto inode = listing_.folderInode(dir);
        if (!inode) {
            cards_.erase(name);
            continue;
        }
        auto& card = cards_[name];
        if (!card || card->inode != *inode) { // new, or another device in its place
            card = std::make_unique<Card>();
            card->inode = *inode;
            card->name = name;
            card->directory = dir;
        }
        if (fs::isRuntimeAsleep(dir + "/device")) {
            // Idle, without reading anything more: its figures would wake it, and the last ones
            // no longer hold.
            if (card->nvidia)
                continue;
            PropertyTable properties{
                {std::string(acceleratorKeys::statisticsKey),
                 PropertyTable{{std::string(acceleratorKeys::deviceUtilizationKey), 0}}}};
            if (!card->model.empty())
                properties.set(std::string(acceleratorKeys::modelKey), card->model);
            services.push_back(std::make_unique<SnapshotService>(card->id, std::move(properties)));
            continue;
        }
        if (!card->described)
            describe(*card);
        if (card->nvidia)
            continue;
        if (auto properties = read(*card); !properties.empty())
            services.push_back(std::make_unique<SnapshotService>(card->id, std::move(properties)));
    }
    return services;
}

} // namespace orb::platform
