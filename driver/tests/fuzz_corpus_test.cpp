#include "driver/fuzz/asio_control_fuzz.h"
#include "driver/fuzz/settings_ini_fuzz.h"
#include "testkit/fuzz_corpus.h"

#include <gtest/gtest.h>

namespace {

TEST(FuzzCorpus, SettingsIniImportKeepsItsPromises) {
    testkit::replayCorpus(DRIVER_FUZZ_CORPUS "/settings_ini", FuzzSettingsIni);
}

TEST(FuzzCorpus, AsioControlsKeepTheirPromises) {
    testkit::replayCorpus(DRIVER_FUZZ_CORPUS "/asio_control", FuzzAsioControl);
}

} // namespace
