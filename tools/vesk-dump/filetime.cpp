// Days to a civil date by the proleptic Gregorian calendar, counted from 0000-03-01 so
// that the leap day ends each year; no library time function, so no time zone and no
// range limit of time_t comes between the stored value and the text.
#include "filetime.h"

#include "hex_digits.h"

namespace vesk::dump {
namespace {

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::uint64_t kSecondsPerDay = 86'400;

struct Civil {
  std::int64_t year;
  unsigned month;
  unsigned day;
};

// Days from 0000-03-01 to the given date.
constexpr std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = y / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe;
}

constexpr Civil civil_from_days(std::int64_t z) {
  const std::int64_t era = z / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const auto d = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
  const auto m = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
  return {era * 400 + yoe + (m <= 2 ? 1 : 0), m, d};
}

constexpr std::int64_t kDay1601 = days_from_civil(1601, 1, 1);
constexpr std::uint64_t kFirstOutOfRange =
    static_cast<std::uint64_t>(days_from_civil(10000, 1, 1) - kDay1601) * kSecondsPerDay *
    kTicksPerSecond;

void append_digits(std::string& out, std::uint64_t v, int digits) {
  char buffer[20];
  for (int i = digits - 1; i >= 0; --i) {
    buffer[i] = static_cast<char>('0' + v % 10);
    v /= 10;
  }
  out.append(buffer, static_cast<std::size_t>(digits));
}

}  // namespace

TimeKind time_kind(std::uint64_t filetime) {
  if (filetime == 0) return TimeKind::kZero;
  return filetime < kFirstOutOfRange ? TimeKind::kDate : TimeKind::kOutOfRange;
}

bool append_iso_time(std::string& out, std::uint64_t filetime) {
  if (time_kind(filetime) != TimeKind::kDate) return false;
  const std::uint64_t seconds = filetime / kTicksPerSecond;
  const std::uint64_t second_of_day = seconds % kSecondsPerDay;
  const Civil date =
      civil_from_days(kDay1601 + static_cast<std::int64_t>(seconds / kSecondsPerDay));
  append_digits(out, static_cast<std::uint64_t>(date.year), 4);
  out += '-';
  append_digits(out, date.month, 2);
  out += '-';
  append_digits(out, date.day, 2);
  out += 'T';
  append_digits(out, second_of_day / 3600, 2);
  out += ':';
  append_digits(out, second_of_day / 60 % 60, 2);
  out += ':';
  append_digits(out, second_of_day % 60, 2);
  out += '.';
  append_digits(out, filetime % kTicksPerSecond, 7);
  out += 'Z';
  return true;
}

void append_time_or_reason(std::string& out, std::uint64_t filetime) {
  if (append_iso_time(out, filetime)) return;
  if (filetime == 0) {
    out += "zero";
    return;
  }
  out += "out of range 0x";
  append_hex(out, filetime, 16);
}

}  // namespace vesk::dump
