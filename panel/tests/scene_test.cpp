// The scene root, its frame and the settings page on a recording host.

#include "panel/tests/scene_fixture.h"

namespace {

using namespace panel_test;

TEST_F(SceneTest, InitLoadsTheSettingsOnceAndThenTheProfile) {
    call(root, "init");
    call(root, "init");
    EXPECT_EQ(recorder.callsTo("loadApConfig(").size(), 1u);
}

} // namespace
