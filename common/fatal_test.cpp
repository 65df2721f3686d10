#include "common/fatal.h"

#include <gtest/gtest.h>

namespace {

TEST(FatalStop, OutsideAScopeTheTextGoesToItsStreamAndTheProcessEnds) {
  testing::internal::CaptureStderr();
  zep::fatal_print(stderr, "qqcward error: tried to read %d bytes, only read %d\n", 64, 12);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "qqcward error: tried to read 64 bytes, only read 12\n");
  EXPECT_EXIT(zep::fatal_stop(33), testing::ExitedWithCode(33), "");
}

TEST(FatalStop, InsideAScopeTheTextIsKeptAndThrownWithTheStatusAndKind) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  try {
    zep::FatalThrowScope scope;
    {
      zep::FatalThrowScope inner;  // nesting keeps the mode on
    }
    EXPECT_TRUE(zep::fatal_throws());
    zep::fatal_print(stderr, "first %s\n", "line");
    zep::fatal_print(stdout, "second\n");
    errno = ENOSPC;
    zep::fatal_perror("write");
    zep::fatal_stop(4, zep::FatalKind::kWrite);
    ADD_FAILURE() << "fatal_stop returned";
  } catch (const zep::FatalStop &stop) {
    EXPECT_EQ(stop.status, 4);
    EXPECT_EQ(stop.kind, zep::FatalKind::kWrite);
    EXPECT_EQ(stop.message, "first line\nsecond\nwrite: " + std::string(std::strerror(ENOSPC)));
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_FALSE(zep::fatal_throws());
  // Texts kept by a scope that ended without a stop do not leak into the next.
  {
    zep::FatalThrowScope scope;
    zep::fatal_print(stderr, "stale\n");
  }
  zep::FatalThrowScope scope;
  try {
    zep::fatal_stop(1);
  } catch (const zep::FatalStop &stop) {
    EXPECT_EQ(stop.message, "");
    EXPECT_EQ(stop.kind, zep::FatalKind::kOther);
  }
}

}  // namespace
