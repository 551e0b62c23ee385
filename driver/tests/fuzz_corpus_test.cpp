#include "driver/fuzz/asio_control_fuzz.h"
#include "driver/fuzz/device_walks_fuzz.h"
#include "driver/fuzz/n3w8_rewrite_fuzz.h"
#include "driver/fuzz/settings_ini_fuzz.h"
#include "driver/fuzz/stream_status_fuzz.h"
#include "driver/fuzz/topology_properties_fuzz.h"
#include "testkit/fuzz_corpus.h"

#include <gtest/gtest.h>

namespace {

TEST(FuzzCorpus, SettingsIniImportKeepsItsPromises) {
    testkit::replayFuzzInputs(DRIVER_FUZZ_FOLDER, "settings_ini", FuzzSettingsIni);
}

TEST(FuzzCorpus, DeviceWalksKeepTheirPromises) {
    testkit::replayFuzzInputs(DRIVER_FUZZ_FOLDER, "device_walks", FuzzDeviceWalks);
}

TEST(FuzzCorpus, N3W8RewriteKeepsItsPromises) {
    testkit::replayFuzzInputs(DRIVER_FUZZ_FOLDER, "n3w8_rewrite", FuzzN3W8Rewrite);
}

TEST(FuzzCorpus, AsioControlsKeepTheirPromises) {
    testkit::replayFuzzInputs(DRIVER_FUZZ_FOLDER, "asio_control", FuzzAsioControl);
}

TEST(FuzzCorpus, StatusMessagesAndFeedbackKeepTheirPromises) {
    testkit::replayFuzzInputs(DRIVER_FUZZ_FOLDER, "stream_status", FuzzStreamStatus);
}

TEST(FuzzCorpus, TopologyPropertiesKeepTheirPromises) {
    testkit::replayFuzzInputs(DRIVER_FUZZ_FOLDER, "topology_properties", FuzzTopologyProperties);
}

} // namespace
