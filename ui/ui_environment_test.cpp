// Every test of the window runs with the toolkit up on an X server of the
// test binary's own.
#include "ui/ui_test_support.h"

namespace {

[[maybe_unused]] testing::Environment* const g_guiEnvironment =
    testing::AddGlobalTestEnvironment(new BramPatch::GuiTestEnvironment);

}  // namespace
