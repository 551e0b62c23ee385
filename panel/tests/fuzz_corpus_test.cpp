// Every corpus input of the panel's fuzz entries, replayed in the test run.
#include "panel/fuzz/hid_replies_fuzz.h"
#include "panel/fuzz/panel_files_fuzz.h"
#include "testkit/fuzz_corpus.h"

namespace {

TEST(FuzzCorpus, TheHeadsetsRepliesLandWhereTheyBelong) {
    testkit::replayCorpus(PANEL_FUZZ_CORPUS "/hid_replies", fuzzHidReplies);
}

TEST(FuzzCorpus, ThePanelsFilesLoadWithinTheirBoundsAndNothingIsLost) {
    testkit::replayCorpus(PANEL_FUZZ_CORPUS "/panel_files", fuzzPanelFiles);
}

} // namespace
