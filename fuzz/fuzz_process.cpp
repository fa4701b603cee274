// A process's /proc/<pid>/stat and status: the pure parsers on the whole input, then the process
// table reading a process whose stat and status both hold it, and the group its name falls in.
#include "FuzzTree.h"
#include "monitor/ProcessDisplayName.h"
#include "platform/linux/LinuxProcessTable.h"

#include <QString>

using namespace orb::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static orb::fuzz::FuzzTree tree;
    const auto text = orb::fuzz::asText(data, size);

    if (const auto stat = parseProcessStat(text)) {
        // The name is a part of the line, between its parentheses.
        if (stat->name.data() < text.data() ||
            stat->name.data() + stat->name.size() > text.data() + text.size())
            std::abort();
        orb::processDisplayName(
            QString::fromUtf8(stat->name.data(), static_cast<qsizetype>(stat->name.size())));
    }
    parseStatusFootprint(text);

    tree.clear();
    tree.writeFile("proc/4242/stat", text, false);
    tree.writeFile("proc/4242/status", text, false);
    LinuxProcessTable table(tree.root(), 0);
    std::vector<int> pids;
    table.listProcesses(pids);
    ProcessReading reading;
    if (table.readProcess(4242, reading))
        orb::processDisplayName(
            QString::fromUtf8(reading.name.data(), static_cast<qsizetype>(reading.name.size())));
    return 0;
}
