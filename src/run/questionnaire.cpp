#include "run/questionnaire.h"

#include <string>
#include <string_view>

#include "events/event_calendar.h"

namespace quorlant::run {

using recordio::Format;
using recordio::kConsoleInput;
using recordio::kConsoleOutput;
using recordio::Literal;
using recordio::RealField;
using recordio::RecordEnd;
using recordio::TextField;

namespace {

// Only the lowercase y counts as yes; the answer itself is kept as typed.
bool is_yes(const recordio::FixedText<1>& answer) {
  return answer[0] == 'y';
}

void say(recordio::RecordIo& io, std::string_view line) {
  io.message(kConsoleOutput, {line});
}
void say_empty(recordio::RecordIo& io) {
  io.message(kConsoleOutput);
}

// An answer the dialogue would take loosely ends a strict run, naming where it stands.
[[noreturn]] void refuse(recordio::RecordIo& io, std::string_view what, std::string_view why) {
  throw recordio::Stop(
      "line " + std::to_string(io.console().line_number()) + " of the input (" + std::string(what) +
          "): " + recordio::quoted_answer(io.console().last_line()) + " " + std::string(why),
      recordio::ExitStatus::kIoFailure, recordio::StopStream::kError);
}

// One character: the first of the answer line, a blank for an empty line.
void ask_option(recordio::RecordIo& io, recordio::FixedText<1>& answer, std::string_view what,
                bool strict) {
  io.read(kConsoleInput, Format{TextField{1}}, {answer.span()}, what);
  const std::string& line = io.console().last_line();
  if (strict && line != "y" && line != "n" && line != "yes" && line != "no") {
    refuse(io, what, "is not y, n, yes or no");
  }
}

// The file names take the basin name up to its first blank, at most 8 characters.
void check_basin_name(recordio::RecordIo& io, const shared::RunData& data, bool strict) {
  const std::string& line = io.console().last_line();
  if (line.size() <= 8 && line.find(' ') == std::string::npos) return;
  const std::string_view used = data.bsnme.view().substr(0, data.bsnme.view().find(' '));
  const std::string cut = "cut to " + recordio::quoted_answer(used) +
                          " in the file names (at most 8 characters, no blank)";
  if (strict) refuse(io, "the basin name", "would be " + cut);
  io.warn("the basin name " + recordio::quoted_answer(line) + " is " + cut);
}

}  // namespace

void ask_first_group(recordio::RecordIo& io, shared::RunData& data, bool strict) {
  say(io, "event selection program");
  say(io, "warning: no damage yet, but if you enter the name");
  say(io, "of an existing event, all old files by that name");
  say(io, "and the series of events following");
  say(io, "will be over written. enter ^c or ^break to stop");
  say_empty(io);
  say(io, "Enter the no of events to create:");
  data.noevents = io.read_integer("the number of events");
  say_empty(io);
  say(io, "No. of months per event file (1 or 12)");
  say(io, "If you are going to run long sequences - e.g. 40 years");
  say(io, "use 12 months per event - i.e. yearly events");
  say(io, "If you do not, you will have many many files.");
  say(io, "Use 12 month events unless you actually");
  say(io, "need month-long events for some reason");
  data.no_months = io.read_integer("the number of months per event");
  say(io, "type in start of event - eg. yyyy mm dd hh");
  say(io, "please stick with this convention so radar files work");
  io.read(kConsoleInput, Format{TextField{13}}, {data.start.span()},
          "the start of the first event");
  if (strict) {
    const std::string& line = io.console().last_line();
    if (line.size() != 13) refuse(io, "the start of the first event", "is not 13 characters");
    if (const auto problem = events::start_problem(line)) {
      refuse(io, "the start of the first event", *problem);
    }
  }
}

void check_nothing_left(recordio::RecordIo& io) {
  recordio::Console& console = io.console();
  if (console.terminal() || console.at_end()) return;
  console.read_line("a line left over");
  refuse(io, "after the last answer", "is left over; the dialogue asks nothing more");
}

void ask_second_group(recordio::RecordIo& io, shared::RunData& data, bool strict) {
  say_empty(io);
  say(io, " will you be running the snow melt  routines? y/n");
  say(io, " Note: temperature data needed for this option");
  ask_option(io, data.snwflg, "the snow melt answer", strict);
  if (is_yes(data.snwflg)) {
    io.write(kConsoleOutput, Format{Literal{" enter the snow conversion factor"}}, {});
    io.write(kConsoleOutput,
             Format{Literal{" e.g.  1.0 is snow wat. eq. in mm, 25. if in inches"}, RecordEnd{}},
             {});
    // Columns 1 to 5 of the line; without a typed point the digits are a whole number.
    io.read(kConsoleInput, Format{RealField{5, 0}}, {&data.snconv}, "the snow conversion factor");
  } else {
    data.snconv = 1.0F;
  }
  say_empty(io);
  say(io, " will you be running the evaporation routines? y/n");
  say(io, " Note: temperature data needed for this option");
  ask_option(io, data.vapflg, "the evaporation answer", strict);
  say_empty(io);
  say(io, " will you be disaggregating precipitation? y/n");
  ask_option(io, data.smrflg, "the disaggregation answer", strict);
  if (is_yes(data.smrflg)) {
    say(io, "what is your disaggregation rate mm/hr ?");
    data.disaggregation_rate = io.read_real("the disaggregation rate");
  } else {
    data.disaggregation_rate = 0.0F;
  }
  say(io, "What reporting time step would you like in files?");
  say(io, "This should not be shorted than the str file Dt");
  data.deltat_report = io.read_integer("the reporting time step");
  say_empty(io);
  say(io, " will you be using reservoir/lake inflow files? y/n");
  ask_option(io, data.resinflg, "the reservoir/lake inflow answer", strict);
  say(io, " will you be using wetland coupling? y/n");
  ask_option(io, data.wetflg, "the wetland coupling answer", strict);
  say_empty(io);
  say(io, " will you be using diversions? y/n");
  say(io, " Note: diversion data needed for this option");
  ask_option(io, data.divertflg, "the diversions answer", strict);
  say_empty(io);
  say(io, " will you be running lake evaporation? y/n");
  say(io, " Note: diversion data needed for this option");
  ask_option(io, data.lakeflg, "the lake evaporation answer", strict);
  say_empty(io);
  say(io, " will you be using ice factors? y/n");
  say(io, " Note: diversion data needed for this option");
  ask_option(io, data.iceflg, "the ice factors answer", strict);
  say_empty(io);
  io.write(kConsoleOutput,
           Format{RecordEnd{}, Literal{" name of shd & par files: eg. gr10k, saug 8 char max"},
                  RecordEnd{}},
           {});
  io.read(kConsoleInput, Format{TextField{8}}, {data.bsnme.span()}, "the basin name");
  check_basin_name(io, data, strict);
}

}  // namespace quorlant::run
