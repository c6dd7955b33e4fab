#pragma once

// The console dialogue of a run, line by line as it stands on the console, written out by hand.

#include <string>
#include <vector>

namespace quorlant::run::expected {

using Lines = std::vector<std::string>;

inline void append(Lines& to, const Lines& more) {
  to.insert(to.end(), more.begin(), more.end());
}

/// A banner, framed in asterisks, whose fifth line is `line5`.
inline Lines banner(const std::string& line5) {
  const std::string frame = " ********************************************************";
  const std::string empty = " *                                                      *";
  return {frame,
          empty,
          " *                  QUELBRAN (TM)                       *",
          empty,
          line5,
          empty,
          " *                   Version 9.9a                       *",
          empty,
          " *           Event files for long modelling runs        *",
          empty,
          frame};
}

inline Lines start_banner() {
  return banner(" *         Program quorlant    Jun. 23 2015             *");
}

inline Lines closing_banner() {
  return banner(" *         Program quorlant   Jun. 23, 2015             *");
}

inline std::string run_log_note() {
  return " Please see file evt_info.txt for information re: this run";
}

/// The prompts of the first group: the number of events, the months per event, the start.
inline Lines first_group_prompts() {
  return {" event selection program",
          " warning: no damage yet, but if you enter the name",
          " of an existing event, all old files by that name",
          " and the series of events following",
          " will be over written. enter ^c or ^break to stop",
          "",
          " Enter the no of events to create:",
          "",
          " No. of months per event file (1 or 12)",
          " If you are going to run long sequences - e.g. 40 years",
          " use 12 months per event - i.e. yearly events",
          " If you do not, you will have many many files.",
          " Use 12 month events unless you actually",
          " need month-long events for some reason",
          " type in start of event - eg. yyyy mm dd hh",
          " please stick with this convention so radar files work"};
}

/// The prompts of the second group; the snow conversion factor and the disaggregation rate
/// are asked only on a lowercase y.
inline Lines second_group_prompts(bool snow_factor, bool rate) {
  Lines t = {"", "  will you be running the snow melt  routines? y/n",
             "  Note: temperature data needed for this option"};
  if (snow_factor) {
    append(t, {" enter the snow conversion factor",
               " e.g.  1.0 is snow wat. eq. in mm, 25. if in inches", ""});
  }
  append(t, {"", "  will you be running the evaporation routines? y/n",
             "  Note: temperature data needed for this option", "",
             "  will you be disaggregating precipitation? y/n"});
  if (rate) t.push_back(" what is your disaggregation rate mm/hr ?");
  append(t,
         {" What reporting time step would you like in files?",
          " This should not be shorted than the str file Dt", "",
          "  will you be using reservoir/lake inflow files? y/n",
          "  will you be using wetland coupling? y/n", "", "  will you be using diversions? y/n",
          "  Note: diversion data needed for this option", "",
          "  will you be running lake evaporation? y/n",
          "  Note: diversion data needed for this option", "",
          "  will you be using ice factors? y/n", "  Note: diversion data needed for this option",
          "", "", " name of shd & par files: eg. gr10k, saug 8 char max", ""});
  return t;
}

/// Everything up to and including the first group's prompts.
inline Lines opening() {
  Lines t = start_banner();
  t.push_back("");
  t.push_back(run_log_note());
  append(t, first_group_prompts());
  return t;
}

/// Everything after the events: the note on the list, the closing banner and the ending.
inline Lines closing() {
  Lines t = {" A file called events\\events_to_follow.txt", " has been written",
             " This list can be used in the first event file", " of a connected set of events", ""};
  append(t, closing_banner());
  append(t, {"", run_log_note(), "Normal ending"});
  return t;
}

}  // namespace quorlant::run::expected
