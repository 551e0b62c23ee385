// The profile file's current profile as the engine starts with it.

#include "panel/profile_store.h"
#include "panel/tests/panel_sim_fixture.h"

namespace {

using namespace panel_test;

// A stored profile the panel lacks used to become the current one, and every
// setter of the page then missed its block.
TEST(ProfileStoreLoad, AStoredProfileThePanelLacksStartsAtTheFirstPagesProfile) {
    struct Case {
        const char* file;
        int expected;
    };
    for (const Case c :
         {Case{"[common]\ncurProfile=3\n", 3}, Case{"[common]\ncurProfile=0\n", 0},
          Case{"[common]\ncurProfile=9\n", 1}, Case{"[common]\ncurProfile=x\n", 1}, Case{"", 1}}) {
        SCOPED_TRACE(c.file);
        testkit::TempFolder folder;
        folder.write("profile.ini", c.file);
        panel::ProfileStore store(pathIn(folder, "profile.ini"));
        store.load();
        EXPECT_EQ(store.profileId(), c.expected);
    }
}

} // namespace
