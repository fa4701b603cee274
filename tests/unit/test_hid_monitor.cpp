#include "fakes/FakeHidSystem.h"
#include "sensors/HIDMonitor.h"

#include <gtest/gtest.h>
#include <set>

using namespace orb;
using namespace orb::platform;
using orb::testing::FakeHidSystem;
using Readings = std::map<std::string, double>;

TEST(HIDMonitor, ProductNamesBecomeLabelsByTheFirstRuleThatMatches) {
    const auto expect = [](const std::string& c) {
        EXPECT_EQ(HIDMonitor::classify(c.substr(0, c.find('|'))), c.substr(c.find('|') + 1)) << c;
    };
    // Die sensors: the die's number when what is left is a whole number (of 64 bits), else
    // both units; every marker goes, not just the first; the marker is case-sensitive.
    for (const std::string c :
         {"PMU tdie3|Die 3", "PMU tdie|CPU/GPU Die", "PMU tdie3a|CPU/GPU Die", "PMU tdie+7|Die 7",
          "PMU tdie-2|Die -2", "PMU tdie+-7|CPU/GPU Die", "PMU tdie 3|CPU/GPU Die",
          " \tPMU tdie5\t |Die 5", "PMU tdie1PMU tdie2|Die 12", "pmu tdie3|PMU"})
        expect(c);
    // The other rules ignore case. Otherwise the name itself, trimmed, first letter raised.
    for (const std::string c :
         {"pACC MTR Temp Sensor2|CPU P-Cluster", "eACC MTR Temp Sensor0|CPU E-Cluster",
          "pACC gpu|CPU P-Cluster", "amdgpu junction|GPU Die", "gas gauge battery|Battery",
          "NAND CH0 temp|SSD", "ANE MTR Temp Sensor1|Neural Engine", "ISP MTR Temp Sensor5|ISP",
          "  battery cell\t|Battery cell", "nvme0 Composite|Nvme0 Composite", "élan|Élan", "   |"})
        expect(c);
    EXPECT_EQ(HIDMonitor::classify("PMU tdie99999999999999999999"), "CPU/GPU Die");
}

TEST(HIDMonitor, ReadsPlausibleTemperaturesAndKeepsTheHottestOfALabel) {
    FakeHidSystem system;
    system.add("pACC MTR Temp Sensor1", 48.5);
    system.add("pACC MTR Temp Sensor2", 52.0);
    system.add("PACC MTR Temp Sensor3", 50.0);
    system.add("GPU MTR Temp Sensor1", 0.0); // out of range at both ends
    system.add("NAND CH0 temp", 150.0);      //
    system.add("gas gauge battery", 149.9);
    system.add(PropertyValue(42), 40.0);              // a product that is not text
    system.add(std::nullopt, 40.0);                   // no product
    system.add("ANE MTR Temp Sensor1", std::nullopt); // no event
    system.services.push_back(nullptr);
    system.add("PMU tdie4", 61.25);

    HIDMonitor monitor(&system);
    EXPECT_EQ(monitor.readTemperatures(),
              (Readings{{"CPU P-Cluster", 52.0}, {"Battery", 149.9}, {"Die 4", 61.25}}));
    EXPECT_EQ(system.matching, (PropertyTable{{"PrimaryUsagePage", 0xFF00}, {"PrimaryUsage", 5}}));

    // Every read lists the services again.
    system.services.clear();
    system.add("PMU tdie4", 63.0);
    EXPECT_EQ(monitor.readTemperatures(), (Readings{{"Die 4", 63.0}}));
}

TEST(HIDMonitor, MissingFunctionsOrAFailedClientGiveNoReadings) {
    const auto read = [](FakeHidSystem& system) {
        system.add("PMU tdie1", 50.0);
        return HIDMonitor(&system).readTemperatures();
    };
    for (std::string_view name : {hid_symbols::clientCreate, hid_symbols::clientCopyServices,
                                  hid_symbols::serviceCopyProperty, hid_symbols::serviceCopyEvent,
                                  hid_symbols::eventGetFloatValue}) {
        FakeHidSystem system;
        system.missing.insert(std::string(name));
        EXPECT_EQ(read(system), Readings()) << name;
    }
    FakeHidSystem failedClient, failedList, unmatched;
    failedClient.clientFails = true;
    failedList.listFails = true;
    EXPECT_EQ(read(failedClient), Readings());
    EXPECT_EQ(read(failedList), Readings());
    EXPECT_EQ(HIDMonitor(nullptr).readTemperatures(), Readings());

    // Matching is optional: without it every service is listed.
    unmatched.missing.insert(std::string(hid_symbols::clientSetMatching));
    EXPECT_EQ(read(unmatched), (Readings{{"Die 1", 50.0}}));
}
