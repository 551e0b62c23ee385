#include "driver/fuzz/device_walks_fuzz.h"
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

} // namespace
