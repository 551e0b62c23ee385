// Every corpus input of Kestrel's fuzz entries, replayed in the test run.
#include "hidlib/fuzz/kestrel_reports_fuzz.h"
#include "hidlib/fuzz/report_descriptor_fuzz.h"
#include "testkit/fuzz_corpus.h"

namespace {

TEST(FuzzCorpus, ReportDescriptorWalkKeepsItsPromises) {
    testkit::replayCorpus(HIDLIB_FUZZ_CORPUS "/report_descriptor", fuzzReportDescriptor);
}

TEST(FuzzCorpus, KestrelTakesTheDevicesReportsAsTheyCome) {
    testkit::replayCorpus(HIDLIB_FUZZ_CORPUS "/kestrel_reports", fuzzKestrelReports);
}

} // namespace
