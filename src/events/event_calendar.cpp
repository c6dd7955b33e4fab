#include "events/event_calendar.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "eventfile/event_names.h"
#include "recordio/failure.h"

namespace quorlant::events {

using recordio::Format;
using recordio::IntField;
using recordio::kFileUnit;
using recordio::Literal;
using recordio::Skip;
using recordio::TextField;

namespace {

const std::string kStartForm = "\"yyyy mm dd hh\"";

std::string quoted_start(const shared::RunData& data) {
  return recordio::quoted_answer(data.start.view());
}

// Hours of each month of a common year, January to December.
constexpr std::int32_t kMonthHours[12] = {744, 672, 744, 720, 744, 720,
                                          744, 744, 720, 744, 720, 744};

// Leap years are the years divisible by 4, century years included.
bool is_leap(std::int32_t year) {
  return year % 4 == 0;
}

std::int32_t month_hours(std::int32_t year, std::int32_t month) {
  return kMonthHours[month - 1] + (month == 2 && is_leap(year) ? 24 : 0);
}

// A year past 9999 no longer fits the four columns of the event name: such a start cannot make
// a series. The month of the start is known to be 1 to 12 by now.
void check_series_fits(const shared::RunData& data) {
  if (last_event_year(data.iyear, data.imonth, data.noevents, data.no_months) > 9999) {
    recordio::reject(std::to_string(data.noevents) + " events from " + quoted_start(data) +
                     " would run past the year 9999, which does not fit the four columns of " +
                     kStartForm);
  }
}

// The name record of an event after the first, yyyymm01: a month below 10 gets its leading "0"
// from a literal.
const Format& next_name_format(std::int32_t imonth) {
  static const Format kBelow10{IntField{4}, Literal{"0"}, IntField{1}, Literal{"01"}};
  static const Format kFrom10{IntField{4}, IntField{2}, Literal{"01"}};
  return imonth < 10 ? kBelow10 : kFrom10;
}

void step_to_next_event(std::int32_t& iyear, std::int32_t& imonth, std::int32_t no_months) {
  if (no_months == 1) {
    imonth = imonth % 12 + 1;
    if (imonth == 1) ++iyear;  // December is followed by January of the next year
  } else {
    ++iyear;
  }
}

// The hours of one month, or of twelve from the start month: any twelve months make a common
// year, and the leap day counts whenever the start year is a leap year, whatever the start month.
std::int32_t event_length(const shared::RunData& data) {
  if (data.no_months == 1) return month_hours(data.iyear, data.imonth);
  return (is_leap(data.iyear) ? 366 : 365) * 24;
}

int number(std::string_view digits) {
  int value = 0;
  for (const char digit : digits) value = value * 10 + (digit - '0');
  return value;
}

// Thirteen columns: blanks in columns 5, 8 and 11, digits everywhere else.
bool in_start_form(std::string_view start) {
  constexpr std::string_view kLayout = "0000 00 00 00";
  return start.size() == kLayout.size() &&
         std::equal(start.begin(), start.end(), kLayout.begin(), [](char typed, char form) {
           return form == ' ' ? typed == ' ' : typed >= '0' && typed <= '9';
         });
}

}  // namespace

std::optional<std::string> start_problem(std::string_view start) {
  start = start.substr(0, 13);
  if (!in_start_form(start)) return "is not in the form " + kStartForm + " (digits, single blanks)";
  const int year = number(start.substr(0, 4));
  const int month = number(start.substr(5, 2));
  const int day = number(start.substr(8, 2));
  // Later years are written in four columns without leading zeros: year 998 would be " 999".
  if (year < 1000) return "has a year before 1000 in columns 1-4";
  if (month < 1 || month > 12) return "has no month from 01 to 12 in columns 6-7";
  const int days = month_hours(year, month) / 24;
  if (day < 1 || day > days) {
    return "names day " + std::string(start.substr(8, 2)) + ", but month " +
           std::string(start.substr(5, 2)) + " of " + std::string(start.substr(0, 4)) + " has " +
           std::to_string(days) + " days";
  }
  if (number(start.substr(11, 2)) > 23) return "has no hour from 00 to 23 in columns 12-13";
  return std::nullopt;
}

std::int64_t last_event_year(std::int32_t iyear, std::int32_t imonth, std::int32_t noevents,
                             std::int32_t no_months) {
  const std::int64_t later_events = std::int64_t{noevents} - 1;
  return no_months == 1 ? iyear + (imonth - 1 + later_events) / 12 : iyear + later_events;
}

std::vector<std::string> series_event_files(const shared::RunData& data) {
  std::vector<std::string> files;
  if (data.noevents < 1) return files;
  files.emplace_back(data.fln1.trimmed());
  std::int32_t iyear = data.iyear;
  std::int32_t imonth = data.imonth;
  for (std::int32_t event = 2; event <= data.noevents; ++event) {
    step_to_next_event(iyear, imonth, data.no_months);
    const recordio::OutItem items[] = {iyear, imonth};
    std::string name;
    recordio::format_records(next_name_format(imonth), items, name);
    // The record's first 8 characters, as the advance step reads them back.
    files.push_back(recordio::in_event_folder(eventfile::event_file_name(name.substr(0, 8))));
  }
  return files;
}

void split_start(shared::RunData& data) {
  // Fixed columns; columns 5, 8 and 11 are the separating blanks and are not looked at.
  const std::string_view start = data.start.view();
  data.yy1 = start.substr(0, 4);
  data.mm1 = start.substr(5, 2);
  data.dd1 = start.substr(8, 2);
  data.hh1 = start.substr(11, 2);
}

void prepare_first_event(recordio::RecordIo& io, shared::RunData& data) {
  // What follows column 13 is never looked at; the columns themselves must make a real hour.
  const auto problem = start_problem(data.start.view());
  if (problem && data.noevents >= 1) {
    recordio::reject("the start of the first event " + quoted_start(data) + " " + *problem +
                     "; type it as " + kStartForm);
  }
  // A failure to open shows at the write.
  io.connect(kFileUnit, "temp0.fls", recordio::OpenMode::kScratch);
  io.write(kFileUnit, Format{TextField{}, TextField{}, TextField{}, TextField{}},
           {data.yy1.view(), data.mm1.view(), data.dd1.view(), data.hh1.view()});
  io.rewind(kFileUnit);
  io.read(kFileUnit, Format{TextField{8}}, {data.evtname.span()});
  io.rewind(kFileUnit);
  std::int32_t day = 0;
  std::int32_t hour = 0;
  try {
    io.read(kFileUnit, Format{IntField{4}, IntField{2}, IntField{2}, IntField{2}},
            {&data.iyear, &data.imonth, &day, &hour});
  } catch (const recordio::Failure& failure) {
    if (failure.is_interrupt()) throw;
    throw recordio::Failure("the start of the first event " + quoted_start(data) +
                            " must be digits in the form " + kStartForm + " (" + failure.what() +
                            ")");
  }
  io.close(kFileUnit);
}

void advance_to_next_event(recordio::RecordIo& io, shared::RunData& data) {
  step_to_next_event(data.iyear, data.imonth, data.no_months);
  // A failure to open shows at the write.
  io.connect(kFileUnit, "temp5.fls", recordio::OpenMode::kScratch);
  io.write(kFileUnit, next_name_format(data.imonth), {data.iyear, data.imonth});
  io.rewind(kFileUnit);
  io.read(kFileUnit, Format{TextField{8}}, {data.evtname.span()});
  io.rewind(kFileUnit);
  io.read(kFileUnit, Format{TextField{4}, TextField{2}, TextField{2}},
          {data.yy1.span(), data.mm1.span(), data.dd1.span()});
  io.close(kFileUnit);
}

void take_event_length(recordio::RecordIo& io, shared::RunData& data, bool first_event) {
  if (data.no_months != 1 && data.no_months != 12) {
    throw recordio::Stop({recordio::message_line({"No of months per event not eq to 1 or 12"}),
                          recordio::message_line({})},
                         "Program aborted in evt @ 130");
  }
  if (first_event) check_series_fits(data);
  data.evtlength = event_length(data);

  io.open(kFileUnit, "temp1.fls", recordio::OpenMode::kScratch);
  io.write(kFileUnit,
           Format{TextField{}, Skip{1}, TextField{}, Skip{1}, TextField{}, Skip{1}, TextField{}},
           {data.yy1.view(), data.mm1.view(), data.dd1.view(), data.hh1.view()});
  io.close(kFileUnit);
  if (first_event) {
    io.open(kFileUnit, "temp2.fls", recordio::OpenMode::kScratch);
    io.write(kFileUnit, Format{TextField{}, TextField{}, TextField{}},
             {data.yy1.view(), data.mm1.view(), data.dd1.view()});
    io.rewind(kFileUnit);
    io.read(kFileUnit, Format{TextField{8}}, {data.evtname.span()});
    io.close(kFileUnit);
  }
}

}  // namespace quorlant::events
