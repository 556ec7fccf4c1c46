// Every test of the run layer runs with wxBase initialised, as the programs
// do: wxThread and the command-line parser need it.
#include <gtest/gtest.h>
#include <wx/init.h>

namespace {

class WxEnvironment : public testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(wxInitialize()); }
  void TearDown() override { wxUninitialize(); }
};

[[maybe_unused]] testing::Environment* const g_wxEnvironment =
    testing::AddGlobalTestEnvironment(new WxEnvironment);

}  // namespace
