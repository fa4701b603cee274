// The device name databases (pci.ids, amdgpu.ids) and the hexadecimal ids of sysfs. The last
// five bytes pick the vendor, device and revision looked up; the rest is the database.
#include "ByteInput.h"
#include "FuzzTree.h"
#include "platform/linux/PciIdNames.h"

using namespace orb::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static orb::fuzz::FuzzTree tree;
    orb::fuzz::ByteInput input(data, size);
    const auto vendor = input.number<std::uint16_t>();
    const auto device = input.number<std::uint16_t>();
    const auto revision = input.byte();
    const auto text = input.rest();

    parseHexId(text);
    tree.clear();
    tree.writeFile("pci.ids", text, false);
    const auto path = tree.root() + "/pci.ids";
    for (const std::uint16_t known : {vendor, std::uint16_t(0x1002), std::uint16_t(0x8086)})
        pciDeviceName(path, known, device);
    amdgpuMarketingName(path, device, revision);
    return 0;
}
