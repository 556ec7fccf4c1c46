// The application tests parse command lines the way the program does, with
// wxBase initialised.
#include <gtest/gtest.h>
#include <wx/init.h>

namespace {

class WxBaseEnvironment : public testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(wxInitialize()); }
  void TearDown() override { wxUninitialize(); }
};

[[maybe_unused]] testing::Environment* const g_wxEnvironment =
    testing::AddGlobalTestEnvironment(new WxBaseEnvironment);

}  // namespace
