#include "run/run_sequence.h"

#include <memory>
#include <new>
#include <string>

#include "events/event_calendar.h"
#include "events/event_loop.h"
#include "run/questionnaire.h"
#include "shared/run_data.h"

namespace quorlant::run {

using recordio::kConsoleOutput;

// Line 5 differs between the two banners: the closing one has a comma after the day and one
// blank fewer before the date, so both stay 56 characters wide.
const Banner kStartBanner = {
    "********************************************************",
    "*                                                      *",
    "*                  QUELBRAN (TM)                       *",
    "*                                                      *",
    "*         Program quorlant    Jun. 23 2015             *",
    "*                                                      *",
    "*                   Version 9.9a                       *",
    "*                                                      *",
    "*           Event files for long modelling runs        *",
    "*                                                      *",
    "********************************************************",
};

const Banner kClosingBanner = {
    kStartBanner[0],
    kStartBanner[1],
    kStartBanner[2],
    kStartBanner[3],
    "*         Program quorlant   Jun. 23, 2015             *",
    kStartBanner[5],
    kStartBanner[6],
    kStartBanner[7],
    kStartBanner[8],
    kStartBanner[9],
    kStartBanner[10],
};

namespace {

constexpr std::string_view kRunLogNote =
    "Please see file evt_info.txt for information re: this run";
constexpr std::string_view kNamesCorrespond = "                     if names correspond";

void say(recordio::RecordIo& io, std::string_view line) {
  io.message(kConsoleOutput, {line});
}

void show_banner(recordio::RecordIo& io, const Banner& banner) {
  for (std::string_view line : banner) say(io, line);
}

}  // namespace

void show_warning_and_notice(recordio::RecordIo& io) {
  say(io, kNamesCorrespond);
  say(io, "WARNING:");
  say(io, "Existing evt files may be overwritten");
  say(io, kNamesCorrespond);
  say(io, "Hit Ctrl C to abort");
  io.pause();
  io.message(kConsoleOutput);
  say(io, "recent change(s):");
  say(io, "8/12/2011 - `ensimflg` has been replaced by `kenueflg`");
  say(io, "in the new evt file");
  say(io, "Pre-existing programs will not accept `kenueflg` &");
  say(io, "will produce an error");
  say(io, "Please update all executables");
  say(io, "New exec`s will recognize ensimflg & kenueflg");
  say(io, "so there is no need to edit your data files");
  io.message(kConsoleOutput);
  io.pause();
}

int run_sequence(recordio::RecordIo& io) {
  return io.run([](recordio::RecordIo& run_io) {
    // The file-name table comes first: nothing is shown before it is obtained.
    std::unique_ptr<shared::RunData> data;
    try {
      data = std::make_unique<shared::RunData>();
    } catch (const std::bad_alloc&) {
      recordio::stop("**Allocation failed for area12 in eventsa l86**");
    }
    show_banner(run_io, kStartBanner);
    // Said now rather than after all the answers, at the first event file; the run goes on.
    if (!run_io.units().is_directory("event")) {
      run_io.warn("the working directory has no event directory, so no event file can be written");
    }
    run_io.message(kConsoleOutput);
    say(run_io, kRunLogNote);
    run_io.open_or_fail(recordio::kRunLogUnit, "evt_info.txt");  // stays open, never written

    ask_first_group(run_io, *data);
    events::split_start(*data);
    events::open_follow_list(run_io);
    events::prepare_first_event(run_io, *data);
    const events::EventTally tally = events::run_event_loop(
        run_io, *data,
        {[&] { ask_second_group(run_io, *data); }, [&] { show_warning_and_notice(run_io); }});
    events::close_follow_list(run_io);

    if (run_io.units().dry_run()) {
      run_io.listener().dry_run_counts(tally.files, tally.replaced);
    } else {
      say(run_io, "A file called events\\events_to_follow.txt");
      say(run_io, "has been written");
      say(run_io, "This list can be used in the first event file");
      say(run_io, "of a connected set of events");
    }
    run_io.message(kConsoleOutput);
    show_banner(run_io, kClosingBanner);
    run_io.message(kConsoleOutput);
    say(run_io, kRunLogNote);
    recordio::stop("Normal ending", recordio::ExitStatus::kNormalEnding);
  });
}

}  // namespace quorlant::run
