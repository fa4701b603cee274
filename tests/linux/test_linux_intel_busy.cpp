#include "fakes/FakePlatform.h"
#include "fakes/ScratchRoot.h"
#include "platform/linux/IntelBusy.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace orb::platform;
using orb::testing::FakeClock;
using orb::testing::fixtures;
using orb::testing::ScratchRoot;
namespace stdfs = std::filesystem;

namespace {

const std::string igpu = "0000:00:02.0";
const std::string dgpu = "0000:03:00.0";

// A hand-built tree copied into the root, so that a test can move its counters on.
void copyTree(const std::string& tree, ScratchRoot& root) {
    root.copy(fixtures + "/handmade-intel/" + tree);
}

} // namespace

TEST(IntelBusy, IdleResidencyGivesTheBusiestTileBetweenTwoReads) {
    const std::string i915 = "sys/class/drm/card0/gt/gt0/rc6_residency_ms";
    const std::string xeRender = "sys/class/drm/card1/device/tile0/gt0/gtidle/idle_residency_ms";
    const std::string xeMedia = "sys/class/drm/card1/device/tile0/gt1/gtidle/idle_residency_ms";
    struct Case {
        const char* what;
        std::optional<double> igpuBusy, dgpuBusy;
        std::vector<std::pair<std::string, std::string>> later; // files after 2 s
    } const cases[] = {
        {"idle 1.5 s of 2; render tile idle 1 s, media 2 s (gone idle while unread)",
         25,
         50,
         {{i915, "81236067"}, {xeRender, "5121000"}, {xeMedia, "5902000"}}},
        {"idle longer than the wall time reads as idle, not below 0",
         0,
         0,
         {{i915, "81239999"}, {xeRender, "5122000"}, {xeMedia, "5902500"}}},
        {"counters reset", {}, {}, {{i915, "12"}, {xeRender, "5122000"}, {xeMedia, "40"}}},
        {"counter unreadable", {}, {}, {{i915, ""}, {xeRender, "garbage"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchRoot root;
        copyTree("residency", root);
        FakeClock clock;
        IntelBusy busy(root.str(), clock);
        ASSERT_EQ(busy.cards(), (std::vector<std::string>{igpu, dgpu}));
        EXPECT_EQ(busy.source(igpu), IntelBusy::Source::idleResidency);
        EXPECT_EQ(busy.source(dgpu), IntelBusy::Source::idleResidency);
        EXPECT_EQ(busy.busyPercent(igpu), std::nullopt) << "one read is no interval";
        EXPECT_EQ(busy.busyPercent(dgpu), std::nullopt);
        clock.advance(2);
        for (const auto& [file, value] : c.later)
            root.write(file, value);
        EXPECT_EQ(busy.busyPercent(igpu), c.igpuBusy);
        EXPECT_EQ(busy.busyPercent(dgpu), c.dgpuBusy);
    }
}

TEST(IntelBusy, ResidencyAfterSleepOrResetStartsAfreshAndNeedsRc6) {
    ScratchRoot root;
    copyTree("residency", root);
    const std::string file = "sys/class/drm/card0/gt/gt0/rc6_residency_ms";
    FakeClock clock;
    IntelBusy busy(root.str(), clock);
    busy.busyPercent(igpu);
    clock.advance(1);
    root.write(file, "5");
    EXPECT_EQ(busy.busyPercent(igpu), std::nullopt);
    clock.advance(2);
    root.write(file, "1505"); // the reset value is the new start
    EXPECT_EQ(busy.busyPercent(igpu), 25);

    // The counter stood still while the card slept: no figure may span that.
    root.write("sys/class/drm/card0/device/power/runtime_suspended_time", "30000");
    clock.advance(31);
    EXPECT_EQ(busy.busyPercent(igpu), std::nullopt);
    clock.advance(2);
    EXPECT_EQ(busy.busyPercent(igpu), 100);

    // With RC6 switched off its counter means nothing: the card falls back to its clients.
    root.write("sys/class/drm/card0/power/rc6_enable", "0");
    IntelBusy rc6Off(root.str(), clock);
    EXPECT_EQ(rc6Off.source(igpu), IntelBusy::Source::clientEngineTime);
    EXPECT_EQ(rc6Off.source(dgpu), IntelBusy::Source::idleResidency);
}

TEST(IntelBusy, ClientEngineTimeCountsEachClientOnce) {
    ScratchRoot root;
    copyTree("clients", root);
    FakeClock clock;
    IntelBusy busy(root.str(), clock);
    EXPECT_EQ(busy.source(igpu), IntelBusy::Source::clientEngineTime);
    EXPECT_EQ(busy.source(dgpu), IntelBusy::Source::clientEngineTime);

    // Client 4 under three descriptors of two processes, 9 and 7: three clients. A process
    // without one is listed again only in its turn.
    root.link("proc/1500/fd/0", "/dev/null");
    const auto search = busy.rescan();
    EXPECT_EQ(search.processes, 4);
    EXPECT_EQ(search.clients, 3);
    EXPECT_EQ(busy.rescan().processes, 3);
    EXPECT_EQ(busy.busyPercent(igpu), std::nullopt);
    EXPECT_EQ(busy.busyPercent(dgpu), std::nullopt);

    // One second later: render 0.3 s (client 4) + 0.2 s (client 9), video 0.5 s over two
    // engines; the xe client's rcs 20 % of its cycles, vcs 60 % over two engines.
    clock.advance(1);
    copyTree("clients-later", root);
    EXPECT_DOUBLE_EQ(busy.busyPercent(igpu).value_or(-1), 50);
    EXPECT_DOUBLE_EQ(busy.busyPercent(dgpu).value_or(-1), 30);

    // Nothing more ran; then the clients closed their descriptors.
    clock.advance(1);
    EXPECT_EQ(busy.busyPercent(igpu), 0);
    for (const char* pid : {"1200", "1300", "1400"})
        stdfs::remove_all(root.path() / "proc" / pid);
    clock.advance(1);
    EXPECT_EQ(busy.rescan().clients, 0);
    EXPECT_EQ(busy.busyPercent(igpu), 0) << "a card with statistics is idle without clients";
}

TEST(IntelBusy, SearchesOnlyWhereACardNeedsIt) {
    const std::string card0 = "sys/class/drm/card0/device/", card1 = "sys/class/drm/card1/device/";
    const std::string amdgpu = "DRIVER=amdgpu\nPCI_SLOT_NAME=0000:03:00.0\n";
    struct Case {
        const char* what;
        std::vector<std::string> trees;
        std::vector<std::pair<std::string, std::string>> files;
        int processes;
    } const cases[] = {
        {"no Intel card", {"clients"}, {{card0 + "uevent", amdgpu}, {card1 + "uevent", amdgpu}}, 0},
        {"every card has residency", {"clients", "residency"}, {}, 0},
        {"the only card asleep",
         {"clients"},
         {{card0 + "power/runtime_status", "suspended"}, {card1 + "uevent", amdgpu}},
         0},
        {"one awake card", {"clients"}, {{card1 + "uevent", amdgpu}}, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchRoot root;
        for (const auto& tree : c.trees)
            copyTree(tree, root);
        for (const auto& [file, text] : c.files)
            root.write(file, text);
        FakeClock clock;
        IntelBusy busy(root.str(), clock);
        EXPECT_EQ(busy.rescan().processes, c.processes);
    }
}

TEST(IntelBusy, CardWithoutStatisticsHasNoFigure) {
    // Frequencies only, as on a kernel too old for client statistics: no figure, never 0.
    ScratchRoot root;
    copyTree("clients", root);
    for (const char* pid : {"1200", "1300", "1400"}) {
        const auto fdinfo = root.path() / "proc" / pid / "fdinfo";
        for (const auto& file : stdfs::directory_iterator(fdinfo))
            root.write(file.path().lexically_relative(root.path()),
                       "pos:\t0\ndrm-driver:\ti915\ndrm-client-id:\t4\n");
    }
    FakeClock clock;
    IntelBusy busy(root.str(), clock);
    busy.rescan();
    for (int read = 0; read < 3; ++read, clock.advance(1))
        EXPECT_EQ(busy.busyPercent(igpu), std::nullopt);
    EXPECT_EQ(busy.busyPercent("0000:09:00.0"), std::nullopt) << "not an Intel card";
}
