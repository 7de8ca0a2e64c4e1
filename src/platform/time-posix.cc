#include <cstdint>

#include "platform/posix_internal.h"

namespace platform {

namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kSecondsPerDay = 86'400;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kUnixEpochSeconds = 11'644'473'600;
constexpr std::int64_t kUnixEpochDays = kUnixEpochSeconds / kSecondsPerDay;

struct CivilDate {
  std::int64_t year;
  unsigned month;
  unsigned day;
};

// Proleptic Gregorian date of a day counted from 1970-01-01 (may be negative).
CivilDate CivilFromDays(std::int64_t days) {
  days += 719'468;
  std::int64_t const era = (days >= 0 ? days : days - 146'096) / 146'097;
  auto const dayOfEra = static_cast<unsigned>(days - era * 146'097);
  unsigned const yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36'524 - dayOfEra / 146'096) / 365;
  unsigned const dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  unsigned const monthIndex = (5 * dayOfYear + 2) / 153;
  unsigned const day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  unsigned const month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  std::int64_t const year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
  return {year, month, day};
}

}  // namespace

FILETIME FileTimeFromPosix(const timespec& time) {
  std::uint64_t ticks = UINT64_MAX;
  if (time.tv_sec >= -kUnixEpochSeconds) {
    // Added as unsigned: the latest times a file system can hold would overflow a signed sum.
    std::uint64_t const seconds =
        static_cast<std::uint64_t>(time.tv_sec) + static_cast<std::uint64_t>(kUnixEpochSeconds);
    auto const subSecond = static_cast<std::uint64_t>(time.tv_nsec) / 100;
    if (seconds <= (UINT64_MAX - subSecond) / kTicksPerSecond) {
      ticks = seconds * kTicksPerSecond + subSecond;
    }
  }
  return {static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
}

BOOL FileTimeToSystemTime(const FILETIME* time, SYSTEMTIME* calendar) {
  std::uint64_t const ticks =
      (static_cast<std::uint64_t>(time->dwHighDateTime) << 32) | time->dwLowDateTime;
  if (ticks >= (std::uint64_t{1} << 63)) return FALSE;

  auto const totalSeconds = static_cast<std::int64_t>(ticks / kTicksPerSecond);
  std::int64_t const days = totalSeconds / kSecondsPerDay;
  std::int64_t const secondOfDay = totalSeconds % kSecondsPerDay;
  CivilDate const date = CivilFromDays(days - kUnixEpochDays);

  calendar->wYear = static_cast<WORD>(date.year);
  calendar->wMonth = static_cast<WORD>(date.month);
  calendar->wDay = static_cast<WORD>(date.day);
  calendar->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
  calendar->wHour = static_cast<WORD>(secondOfDay / 3600);
  calendar->wMinute = static_cast<WORD>(secondOfDay / 60 % 60);
  calendar->wSecond = static_cast<WORD>(secondOfDay % 60);
  calendar->wMilliseconds = static_cast<WORD>(ticks % kTicksPerSecond / 10'000);
  return TRUE;
}

}  // namespace platform
