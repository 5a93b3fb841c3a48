// The options of kline-sim, its state file text and its hex trace.
#include "sim/command_line.h"

#include <gtest/gtest.h>

#include "sim/line_trace.h"

namespace {

using sim::FaultKind;

bool Parse(std::vector<std::string> args, sim::SimSetup& setup, std::string& error) {
    return sim::ParseCommandLine(args, setup, error);
}

TEST(CommandLine, DefaultsServeType1OnAPseudoTerminal) {
    sim::SimSetup setup;
    std::string error;
    ASSERT_TRUE(Parse({}, setup, error));
    EXPECT_EQ(setup.ecu.type, 1);
    EXPECT_EQ(setup.ecu.p2Micros, 25'000);
    EXPECT_TRUE(setup.ecu.idleWakeUp) << "no break is seen on a pseudo-terminal";
    EXPECT_TRUE(setup.ecu.sessionTimeout);
    EXPECT_EQ(sim::DtcListText(setup.ecu.dtcs), "P0340:60 P0505:20");
    EXPECT_TRUE(setup.faults.empty());
    EXPECT_EQ(setup.adapter, sim::AdapterMode::Normal);
}

TEST(CommandLine, ReadsEveryOptionInBothForms) {
    sim::SimSetup setup;
    std::string error;
    ASSERT_TRUE(Parse(
        {"--ecu", "0", "--p2=40", "--dtc", "P0130:60,p1603:20", "--seed=9", "--no-session-timeout",
         "--engine-off", "--trace", "--state-file", "/tmp/s", "--strict-wakeup"},
        setup, error))
        << error;
    EXPECT_EQ(setup.ecu.type, 0);
    EXPECT_EQ(setup.ecu.p2Micros, 40'000);
    EXPECT_EQ(sim::DtcListText(setup.ecu.dtcs), "P0130:60 P1603:20");
    EXPECT_EQ(setup.ecu.seed, 9u);
    EXPECT_FALSE(setup.ecu.sessionTimeout);
    EXPECT_FALSE(setup.ecu.engineRunning);
    EXPECT_TRUE(setup.trace);
    EXPECT_EQ(setup.stateFile, "/tmp/s");
    EXPECT_TRUE(setup.ecu.strictWakeUp);
    EXPECT_FALSE(setup.ecu.idleWakeUp) << "with --strict-wakeup idle line wakes nothing";
}

TEST(CommandLine, CableWakesTheEcuOnlyOnTheLowLine) {
    for (const auto& [name, kind] : {std::pair{"no-break", sim::CableKind::NoBreak},
                                     std::pair{"usb-latency", sim::CableKind::UsbLatency}}) {
        sim::SimSetup setup;
        std::string error;
        ASSERT_TRUE(Parse({"--cable", name}, setup, error)) << error;
        EXPECT_EQ(setup.cable.kind, kind) << name;
        EXPECT_FALSE(setup.ecu.idleWakeUp) << name;
    }
}

TEST(CommandLine, FaultsForAllOrOneService) {
    sim::SimSetup setup;
    std::string error;
    ASSERT_TRUE(Parse({"--fault", "silent@21,negative=78@14,delay=300,fail-first=5@1A,no-ecu"},
                      setup, error))
        << error;
    ASSERT_EQ(setup.faults.size(), 4u);
    EXPECT_FALSE(setup.faults[0].allServices);
    EXPECT_EQ(setup.faults[0].sid, 0x21);
    EXPECT_EQ(setup.faults[0].fault.kind, FaultKind::Silent);
    EXPECT_EQ(setup.faults[1].sid, 0x14);
    EXPECT_EQ(setup.faults[1].fault.negativeCode, 0x78);
    EXPECT_TRUE(setup.faults[2].allServices);
    EXPECT_EQ(setup.faults[2].fault.delayMicros, 300'000);
    EXPECT_EQ(setup.faults[3].fault.times, 5);
    EXPECT_EQ(setup.adapter, sim::AdapterMode::NoEcu);

    sim::KLineBus bus(setup.ecu);
    sim::ApplyFaults(setup, bus);
    EXPECT_EQ(bus.Adapter(), sim::AdapterMode::NoEcu);
}

TEST(CommandLine, RefusesBadArguments) {
    for (std::vector<std::string> args : {std::vector<std::string>{"--ecu", "2"},
                                          {"--ecu"},
                                          {"--p2", "x"},
                                          {"--fault", "loud"},
                                          {"--fault", "silent@XYZ"},
                                          {"--fault", "delay=-1"},
                                          {"--dtc", "P013:60"},
                                          {"--dtc", "P0130"},
                                          {"--seed", "-3"},
                                          {"--cable", "exact-break"},
                                          {"--frobnicate"}}) {
        sim::SimSetup setup;
        std::string error;
        EXPECT_FALSE(Parse(args, setup, error)) << args[0];
        EXPECT_FALSE(error.empty());
    }
}

TEST(CommandLine, NoneGivesAnEmptyFaultCodeList) {
    std::vector<sim::Dtc> dtcs{{1, 2, 3}};
    ASSERT_TRUE(sim::ParseDtcList("none", dtcs));
    EXPECT_TRUE(dtcs.empty());
    EXPECT_EQ(sim::DtcListText(dtcs), "none");
}

TEST(CommandLine, HelpNamesEveryFault) {
    const std::string usage = sim::UsageText();
    for (const char* name : {"silent", "negative", "bad-checksum", "wrong-source", "delay",
                             "fail-first", "no-adapter", "no-ecu", "--state-file"})
        EXPECT_NE(usage.find(name), std::string::npos) << name;
}

TEST(StateText, ListsTheEcusState) {
    sim::EcuOptions options;
    options.type = 0;
    options.dtcs = {{0x01, 0x30, 0x60}};
    sim::Ecu ecu(options);
    ecu.SetCoTrim(-10);
    EXPECT_EQ(sim::StateText(ecu, 0, 3),
              "ecu 0\nsession ended\nengine running\nco_trim -10\ndtc P0130:60\nrequests 3\n");
}

TEST(LineTrace, GroupsBurstsOfOneSide) {
    using K = sim::LineEventKind;
    sim::LineTrace trace(1'000'000);
    std::vector<std::string> lines = trace.Add({{1'000'000, K::BreakSet, 0},
                                                {1'025'000, K::BreakClear, 0},
                                                {1'050'000, K::TesterByte, 0x81},
                                                {1'050'962, K::TesterByte, 0x10},
                                                {1'080'000, K::EcuByte, 0x83}});
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "   0.000000  break set");
    EXPECT_EQ(lines[1], "   0.025000  break clear");
    EXPECT_EQ(lines[2], "   0.050000  tester  81 10");
    EXPECT_TRUE(trace.Flush(1'100'000).empty()) << "the frame may go on";
    EXPECT_EQ(trace.Flush(1'106'000), std::vector<std::string>{"   0.080000  ecu     83"})
        << "the receiver has dropped it";
}

}  // namespace
