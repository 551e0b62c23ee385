// Every corpus and regression input of the panel's fuzz entries, replayed in
// the test run.
#include "panel/fuzz/hid_replies_fuzz.h"
#include "panel/fuzz/panel_files_fuzz.h"
#include "testkit/fuzz_corpus.h"

namespace {

TEST(FuzzCorpus, TheHeadsetsRepliesLandWhereTheyBelong) {
    testkit::replayFuzzInputs(PANEL_FUZZ_FOLDER, "hid_replies", fuzzHidReplies);
}

TEST(FuzzCorpus, ThePanelsFilesLoadWithinTheirBoundsAndNothingIsLost) {
    testkit::replayFuzzInputs(PANEL_FUZZ_FOLDER, "panel_files", fuzzPanelFiles);
}

} // namespace
