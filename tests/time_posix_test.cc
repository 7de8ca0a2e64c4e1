#include <gtest/gtest.h>

#include <string>

#include "platform/posix_internal.h"
#include "support/file_time.h"

using namespace platform;

namespace {

std::uint64_t TicksOf(FILETIME time) {
  return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

std::string Calendar(std::uint64_t ticks) {
  FILETIME const time = Ticks(ticks);
  SYSTEMTIME calendar;
  if (!FileTimeToSystemTime(&time, &calendar)) return "rejected";
  char text[64];
  std::snprintf(text, sizeof text, "%d-%02d-%02d %02d:%02d:%02d.%03d w%d", calendar.wYear,
                calendar.wMonth, calendar.wDay, calendar.wHour, calendar.wMinute, calendar.wSecond,
                calendar.wMilliseconds, calendar.wDayOfWeek);
  return text;
}

constexpr std::uint64_t kSecond = 10'000'000;
constexpr std::uint64_t kUnixEpoch = 11'644'473'600ULL * kSecond;

TEST(FileTimeTest, CalendarFieldsOfKnownInstants) {
  EXPECT_EQ(Calendar(0), "1601-01-01 00:00:00.000 w1");
  EXPECT_EQ(Calendar(kUnixEpoch), "1970-01-01 00:00:00.000 w4");
  EXPECT_EQ(Calendar(kUnixEpoch + 951'782'400ULL * kSecond - 1), "2000-02-28 23:59:59.999 w1");
  EXPECT_EQ(Calendar(kUnixEpoch + 951'782'400ULL * kSecond), "2000-02-29 00:00:00.000 w2");
  EXPECT_EQ(Calendar(kUnixEpoch + 1'609'830'189ULL * kSecond), "2021-01-05 07:03:09.000 w2");
  EXPECT_EQ(Calendar(kUnixEpoch + 4'107'542'400ULL * kSecond), "2100-03-01 00:00:00.000 w1");
}

TEST(FileTimeTest, RejectsTwoToTheSixtyThirdTicksAndMore) {
  EXPECT_EQ(Calendar((1ULL << 63) - 1), "30828-09-14 02:48:05.477 w4");
  EXPECT_EQ(Calendar(1ULL << 63), "rejected");
  EXPECT_EQ(Calendar(UINT64_MAX), "rejected");
}

TEST(FileTimeTest, PosixTimesBecomeTicksWithTheirSubSecondPart) {
  EXPECT_EQ(TicksOf(FileTimeFromPosix({0, 0})), kUnixEpoch);
  EXPECT_EQ(TicksOf(FileTimeFromPosix({1, 999'999'999})), kUnixEpoch + kSecond + 9'999'999);
  EXPECT_EQ(TicksOf(FileTimeFromPosix({-11'644'473'600LL, 0})), 0u);
  EXPECT_EQ(Calendar(TicksOf(FileTimeFromPosix({-11'644'473'601LL, 0}))), "rejected");
  EXPECT_EQ(Calendar(TicksOf(FileTimeFromPosix({INT64_MAX, 0}))), "rejected");
}

}  // namespace
