#include "platform/fuzz/registry_file_fuzz.h"
#include "testkit/fuzz_corpus.h"

#include <gtest/gtest.h>

namespace {

TEST(FuzzCorpus, RegistryFileLoaderKeepsItsPromises) {
    testkit::replayFuzzInputs(PLATFORM_FUZZ_FOLDER, "registry_file", fuzzRegistryFile);
}

} // namespace
