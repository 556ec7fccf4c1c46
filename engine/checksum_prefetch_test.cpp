#include "engine/checksum_prefetch.h"

#include <gtest/gtest.h>

#include "engine/patch_file_system.h"
#include "foundation/paths_test_support.h"

namespace BramPatch {
namespace {

TEST(ChecksumPrefetch, HandsOutOnlyTheResultItWasAskedFor) {
  ScopedTempDir dir;
  WriteTextFile(dir.Sub("a"), "abc");
  WriteTextFile(dir.Sub("b"), "");
  ChecksumPrefetcher prefetch(RealPatchFileSystem());
  bool computed = false;
  std::string checksum;
  EXPECT_FALSE(prefetch.Take(dir.Sub("a"), &computed, &checksum));  // nothing started

  prefetch.Start(dir.Sub("a"));
  EXPECT_FALSE(prefetch.Take(dir.Sub("b"), &computed, &checksum));
  ASSERT_TRUE(prefetch.Take(dir.Sub("a"), &computed, &checksum));
  EXPECT_TRUE(computed);
  EXPECT_EQ(checksum, "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_FALSE(prefetch.Take(dir.Sub("a"), &computed, &checksum));  // taken once

  // A newer request replaces one that was not taken.
  prefetch.Start(dir.Sub("a"));
  prefetch.Start(dir.Sub("b"));
  EXPECT_FALSE(prefetch.Take(dir.Sub("a"), &computed, &checksum));
  ASSERT_TRUE(prefetch.Take(dir.Sub("b"), &computed, &checksum));
  EXPECT_EQ(checksum, "d41d8cd98f00b204e9800998ecf8427e");

  prefetch.Start(dir.Sub("missing"));
  ASSERT_TRUE(prefetch.Take(dir.Sub("missing"), &computed, &checksum));
  EXPECT_FALSE(computed);

  prefetch.Start(dir.Sub("a"));  // left pending: the destructor waits for it
}

}  // namespace
}  // namespace BramPatch
