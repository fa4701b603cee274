#include "fakes/FakeDeviceRegistry.h"
#include "platform/SmcKeyData.h"
#include "sensors/SMC.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace orb::platform::smc;
using orb::sensors::SMC;
using orb::testing::FakeDeviceRegistry;
using orb::testing::FakeSmc;
using Bytes = std::vector<std::uint8_t>;

namespace {

struct Controller {
    FakeDeviceRegistry registry;
    FakeSmc& smc = registry.addSmc();
    std::ostringstream log;
    void key(const std::string& name, const std::string& type, Bytes bytes) {
        smc.keys[name] = {type, std::move(bytes)};
    }
};

} // namespace

TEST(SmcKeyData, RecordLayoutAndValueCodes) {
    auto record = KeyData::request("TC0P", Command::readKey, 0x0102);
    record.setData32(0x0A0B0C0D);
    const std::uint8_t expected[16] = {0x54, 0x43, 0x30, 0x50, 0,    0,    0x02, 0x01,
                                       0,    0,    5,    0,    0x0A, 0x0B, 0x0C, 0x0D};
    EXPECT_TRUE(std::equal(std::begin(expected), std::end(expected), record.raw.begin()));
    EXPECT_TRUE(std::all_of(record.raw.begin() + 16, record.raw.end(), [](auto b) { return !b; }));
    const std::uint8_t notAscii[4] = {'T', 0xC3, 0xA9, 'P'};
    EXPECT_EQ(readCode(notAscii), "");

    EXPECT_EQ(decodeSp78(0x2A, 0x80), 42.5);
    EXPECT_EQ(decodeSp78(0xFF, 0x00), -1.0);
    EXPECT_EQ(encodeSp78(42.5), (std::array<std::uint8_t, 2>{0x2A, 0x80}));
    EXPECT_EQ(encodeSp78(-1.0), (std::array<std::uint8_t, 2>{0xFF, 0x00}));
}

TEST(Smc, OpeningSaysWhatHappenedAndAMissingServiceOnlyOnce) {
    // A refused opening still leaves the connection to be closed at the end.
    for (const std::int32_t result : {0, -536870212}) {
        Controller c;
        c.smc.openResult = result;
        {
            SMC smc(c.registry, c.log);
            smc.readFanSpeeds();
            EXPECT_TRUE(smc.connected());
            EXPECT_EQ(c.smc.scalarCalls, std::vector<std::uint32_t>{0});
        }
        EXPECT_EQ(c.log.str(), result ? "SMC: UserClientOpen failed: -536870212\n"
                                      : "SMC: Connection established.\n");
        EXPECT_EQ(c.smc.scalarCalls, (std::vector<std::uint32_t>{0, 1}));
    }

    for (const bool matchFails : {false, true}) {
        FakeDeviceRegistry registry;
        registry.matchFails = matchFails;
        std::ostringstream log;
        SMC smc(registry, log);
        for (int tick = 0; tick < 3; ++tick) {
            EXPECT_TRUE(smc.readAllTemperatures().empty());
            EXPECT_FALSE(smc.readCPUTemperature() || smc.readGPUTemperature());
            EXPECT_TRUE(smc.readFanSpeeds().empty());
        }
        EXPECT_EQ(log.str(), matchFails ? "SMC: Failed to find AppleSMC service.\n"
                                        : "SMC: No device found in iterator.\n");
        EXPECT_EQ(registry.unreleased, 0);
    }
}

TEST(Smc, FanValuesByTypeAndTheFanList) {
    Controller c;
    SMC smc(c.registry, c.log);
    const std::tuple<std::string, Bytes, std::optional<double>> cases[] = {
        {"fpe2", {0x1F, 0x40}, 2000},
        {"ui16", {0x07, 0xD0}, 2000},
        {"flt ", {0x1F, 0x40}, 2000},
        {"flt ", {0x01, 0x2C}, 300},
        {"flt ", {0xC3, 0x50}, {}}};
    for (const auto& [type, bytes, rpm] : cases) {
        c.key("F9Ac", type, bytes);
        EXPECT_EQ(smc.readFanValue("F9Ac"), rpm) << type << " " << int(bytes[1]);
    }

    auto fans = [&](std::vector<double> rpms) {
        c.smc.keys.clear();
        for (std::size_t i = 0; i < rpms.size(); ++i)
            c.smc.fan("F" + std::to_string(i) + "Ac", rpms[i]);
        return smc.readFanSpeeds();
    };
    EXPECT_EQ(fans({1200.25, 0}), std::vector<int>{1200});
    // Halves away from zero; a stopped or unconnected fan is passed over, not the list's end.
    EXPECT_EQ(fans({1200.5, 50, 900}), (std::vector<int>{1201, 900}));
    EXPECT_EQ(fans({1000, 1100, 1200, 1300, 1400, 1500, 1600}),
              (std::vector<int>{1000, 1100, 1200, 1300, 1400, 1500}));
}

TEST(Smc, ScanEnumeratesBelieveableCountsAndProbesOtherwise) {
    for (const std::uint32_t count : {1999u, 2000u, 0u}) {
        Controller c;
        c.smc.temperature("TC0P", 45);
        c.smc.temperature("PSTR", 12);
        c.key("F0Ac", "fpe2", {0x1F, 0x40});
        c.key("TaLP", "ui8 ", {30});
        c.smc.temperature("Tp09", 0.5); // too cold for the probe's range
        c.smc.enumeration = {"F0Ac", "TaLP", "TC0P", "PSTR", "Tp09", "TC0P"};
        c.smc.keyCount = count;
        SMC smc(c.registry, c.log);
        smc.scanSensors();
        smc.scanSensors();
        const auto expected = count == 1999 ? std::vector<std::string>{"TC0P", "PSTR", "Tp09"}
                                            : std::vector<std::string>{"TC0P", "PSTR"};
        EXPECT_EQ(smc.knownTempKeys(), expected) << count;
        EXPECT_EQ(c.log.str(), "SMC: Connection established.\nSMC: Scan complete. Found " +
                                   std::to_string(expected.size()) + " sensors.\n");
    }
}

TEST(Smc, ProbeReadsTemperaturesLabelsAndTheCpuAndGpuChoice) {
    Controller c;
    c.smc.keyCount = 4;
    c.smc.enumeration = {"TC0P", "Tg0D", "Tm02", "TB1T"};
    for (const auto& [key, celsius] : {std::pair{"TC0P", 45}, {"Tg0D", 0}, {"Tm02", 120}})
        c.smc.temperature(key, celsius);
    c.key("TB1T", "fpe2", {0x00, 0x7A}); // 30.5 in quarters
    SMC smc(c.registry, c.log);
    EXPECT_EQ(smc.readAllTemperatures(),
              (std::map<std::string, double>{{"CPU Proximity", 45}, {"Battery (TB1T)", 30.5}}));

    // A probe reads a 4-byte key as sp78 unless only its float is in range; a 2-byte key
    // answers the second try.
    c.key("TC0X", "flt ", {0x42, 0x0C, 0, 0}); // sp78 66.05 wins over the float 35.0
    c.key("PSTR", "flt ", {0x42, 0x0C, 0, 0});
    c.key("TB1X", "flt ", {0xC2, 0x0C, 0, 0}); // neither in range: the sp78 reading
    EXPECT_DOUBLE_EQ(*smc.readProbeValue("TC0X"), 66.046875);
    EXPECT_EQ(smc.readProbeValue("PSTR"), 35.0);
    EXPECT_DOUBLE_EQ(*smc.readProbeValue("TB1X"), -62 + 12 / 256.0);
    c.smc.temperature("Tm03", 35.25);
    EXPECT_EQ(smc.readProbeValue("Tm03"), 35.25);
    EXPECT_EQ(smc.readProbeValue("Tm06"), std::nullopt);

    const std::pair<const char*, double> cpuAndGpu[] = {{"Tp09", 15.0}, {"Tp0T", 130.0},
                                                        {"Tp01", 55.0}, {"Tp05", 60.0},
                                                        {"Tf14", 80.0}, {"Tg05", 20.0}};
    for (const auto& [key, celsius] : cpuAndGpu)
        c.smc.temperature(key, celsius);
    EXPECT_EQ(smc.readCPUTemperature(), 55.0);
    EXPECT_EQ(smc.readGPUTemperature(), 80.0); // Tg0D 0 and Tg05 20 are out of range

    // The prefix rules, which known keys (Tg0D "GPU Die") come before.
    for (const std::string entry : {"Tg1D:GPU (Tg1D)", "Tp0P:PCH/Power", "Tp09:CPU P-Core (Tp09)"})
        EXPECT_EQ(SMC::labelForKey(entry.substr(0, 4)), entry.substr(5));
}
