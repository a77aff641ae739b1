// The unit tests' entry: every test starts from a fresh host platform and
// fresh installer state, and a message box without a queued answer fails
// the test that showed it.
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

class FreshState : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override { ResetAllState(); }
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::UnitTest::GetInstance()->listeners().Append(new FreshState);
  return RUN_ALL_TESTS();
}
