#include "platform/usb/fuzz/configuration_fuzz.h"
#include "testkit/fuzz_corpus.h"

#include <gtest/gtest.h>

namespace {

TEST(FuzzCorpus, ConfigurationValidationKeepsItsPromises) {
    testkit::replayFuzzInputs(PLATFORM_USB_FUZZ_FOLDER, "usb_configuration", fuzzConfiguration);
}

} // namespace
