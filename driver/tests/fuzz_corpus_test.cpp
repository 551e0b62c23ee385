#include "driver/fuzz/asio_control_fuzz.h"
#include "driver/fuzz/device_walks_fuzz.h"
#include "driver/fuzz/n3w8_rewrite_fuzz.h"
#include "driver/fuzz/settings_ini_fuzz.h"
#include "testkit/fuzz_corpus.h"

#include <gtest/gtest.h>

namespace {

TEST(FuzzCorpus, SettingsIniImportKeepsItsPromises) {
    testkit::replayCorpus(DRIVER_FUZZ_CORPUS "/settings_ini", FuzzSettingsIni);
}

TEST(FuzzCorpus, DeviceWalksKeepTheirPromises) {
    testkit::replayCorpus(DRIVER_FUZZ_CORPUS "/device_walks", FuzzDeviceWalks);
}

TEST(FuzzCorpus, N3W8RewriteKeepsItsPromises) {
    testkit::replayCorpus(DRIVER_FUZZ_CORPUS "/n3w8_rewrite", FuzzN3W8Rewrite);
}

TEST(FuzzCorpus, AsioControlsKeepTheirPromises) {
    testkit::replayCorpus(DRIVER_FUZZ_CORPUS "/asio_control", FuzzAsioControl);
}

} // namespace
