// A re-run of a three-event series on the in-memory file system, every operation failed in turn
// and the run cut off at every operation by a crash: the series is old or new as a whole, a
// "... created" line names only a file in place, and nothing is left behind that the next run
// does not settle.
#include <gtest/gtest.h>

#include "memory_file_system.h"
#include "reliability/reliability_support.h"

namespace quorlant::reliability {
namespace {

using testing::MemoryFileSystem;
using Call = MemoryFileSystem::Call;

// A working directory whose name holds a tab, a line end and a per cent sign, as the journal
// must keep them.
const std::filesystem::path kWork = "/work\t%41\ndir";
const std::vector<std::string> kEvents = {"20150101", "20150201", "20150301"};
const std::string kLeftAsItWas = "quorlant: the series in event\\ was left as it was\n";

std::string three_events() {
  return "3\n" + script_lines(full_script().size()).substr(2);
}

std::string new_event(std::size_t i) {
  static const std::vector<testing::evt::Event> events = {
      {"2015", "01", "01", "00", "20150101", "  744"},
      {"2015", "02", "01", "00", "20150201", "  672"},
      {"2015", "03", "01", "00", "20150301", "  744"}};
  return full_script_event(events[i]);
}

std::string old_bytes(const std::string& name) {
  return "the old " + name + " of an earlier run\n";
}

void prepare(MemoryFileSystem& files) {
  files.make_directory(kWork);
  files.make_directory(kWork / "event");
  for (const std::string& event : kEvents) {
    files.make_file(kWork / "event" / (event + ".evt"), old_bytes(event));
  }
  files.make_file(kWork / "event/events_to_follow.txt", old_bytes("list"));
}

// A file's records as they read (CR LF as LF on Windows), or nullopt.
std::optional<std::string> records(MemoryFileSystem& files, const std::filesystem::path& path) {
  const auto bytes = files.bytes(path);
  return bytes ? std::optional<std::string>(testing::text_output(*bytes)) : std::nullopt;
}

// "old", "new", or what is wrong: the event files and the list as one.
std::string series_state(MemoryFileSystem& files) {
  std::string new_list;
  std::size_t old = 0;
  std::size_t fresh = 0;
  for (std::size_t i = 0; i < kEvents.size(); ++i) {
    const auto bytes = records(files, kWork / "event" / (kEvents[i] + ".evt"));
    old += bytes == old_bytes(kEvents[i]);
    fresh += bytes == new_event(i);
    new_list += follow_line("event\\" + kEvents[i] + ".evt");
  }
  const auto list = records(files, kWork / "event/events_to_follow.txt");
  old += list == old_bytes("list");
  fresh += list == new_list;
  if (old == kEvents.size() + 1) return "old";
  if (fresh == kEvents.size() + 1) return "new";
  return "mixed: " + std::to_string(old) + " old, " + std::to_string(fresh) + " new";
}

// What the run left beyond the series, the scratch files and the log.
std::string leftovers(MemoryFileSystem& files) {
  std::string left;
  for (const auto& [name, bytes] : files.tree(kWork)) {
    if (name.starts_with(".") || name.starts_with("event/.")) left += name + " ";
  }
  return left;
}

// The one report on the error stream, then perhaps the line that says the series was left as
// it was; or the write_event report on the console for an event file that cannot be opened.
std::string report_problem(const testing::RunResult& result, std::error_code error) {
  std::string err = result.err;
  if (err.ends_with(kLeftAsItWas)) err.resize(err.size() - kLeftAsItWas.size());
  if (result.status == 1) {
    const bool named = result.out.find(" problem opening") != std::string::npos &&
                       result.out.ends_with("program aborted in write_event\n");
    return named && err.empty() ? "" : "no write_event report";
  }
  if (result.status != 2) return "status " + std::to_string(result.status);
  const std::string reason = ": " + platform::message_of(error) + "\n";
  if (!err.starts_with("quorlant: ") || !err.ends_with(reason) || count_of(err, "\n") != 1) {
    return "not one report with the reason: " + result.err;
  }
  return "";
}

TEST(EveryFailure, EachOperationOfAThreeEventRunFailedInTurn) {
  MemoryFileSystem counting;
  prepare(counting);
  const auto clean = run_program(kWork, three_events(), {}, &counting);
  ASSERT_EQ(clean.status, 0) << clean.err;
  ASSERT_EQ(series_state(counting), "new");
  ASSERT_EQ(leftovers(counting), "");
  std::size_t runs = 0;
  for (std::size_t kind = 0; kind < MemoryFileSystem::kCalls; ++kind) {
    const auto call = static_cast<Call>(kind);
    for (std::size_t nth = 1; nth <= counting.calls(call); ++nth) {
      // Out of handles while staging, the run closes the staged files and flushes them by name.
      std::vector<std::errc> codes = {std::errc::io_error, std::errc::no_space_on_device};
      if (call == Call::kCreate) codes.push_back(std::errc::too_many_files_open);
      for (const std::errc code : codes) {
        const std::error_code error = std::make_error_code(code);
        const std::string label = std::string(MemoryFileSystem::kNames[kind]) + " #" +
                                  std::to_string(nth) + ": " + error.message();
        MemoryFileSystem files;
        prepare(files);
        files.fail(call, nth, error);
        const auto result = run_program(kWork, three_events(), {}, &files);
        const std::string state = series_state(files);
        ++runs;
        if (result.status == 0) {
          // A failure the run could do without (a question asked again later, a write-back
          // hint): the whole new series, announced, and nothing left.
          EXPECT_EQ(state, "new") << label;
          EXPECT_EQ(leftovers(files), "") << label;
          EXPECT_EQ(count_of(result.out, "... created"), 3U) << label;
          continue;
        }
        EXPECT_EQ(report_problem(result, error), "") << label;
        EXPECT_TRUE(state == "old" || state == "new") << label << ": " << state;
        // A file announced is in place: lines only with the new series.
        if (state == "old") {
          EXPECT_EQ(result.out.find("... created"), std::string::npos) << label;
        }
        EXPECT_EQ(result.out.find("Normal ending"), std::string::npos) << label;
        // What the run could not remove is settled by the next run; a temporary of its own
        // only where removing it was what failed, for the next run's sweep.
        recordio::Units next(files, kWork);
        recordio::JournalState found = recordio::JournalState::kNone;
        EXPECT_NO_THROW(next.recover_series(found)) << label;
        EXPECT_TRUE(series_state(files) == state) << label << ": " << series_state(files);
        if (call != Call::kRemove) {
          EXPECT_EQ(leftovers(files), "") << label;
        }
      }
    }
  }
  // Opens, writes, flushes, renames, links and the questions all took part.
  for (const Call call : {Call::kStatus, Call::kKind, Call::kOpen, Call::kCreate, Call::kWrite,
                          Call::kFlush, Call::kClose, Call::kReplace, Call::kHardLink,
                          Call::kSyncDirectory, Call::kNamesIn, Call::kRemove}) {
    EXPECT_GT(counting.calls(call), 0U) << MemoryFileSystem::kNames[static_cast<std::size_t>(call)];
  }
  EXPECT_GT(runs, 150U) << runs;
}

// Cut off at every operation, by a kill or a power cut: after the next run's recovery the series
// is wholly old or wholly new, and no journal or copy of an old file is left.
TEST(Crash, AThreeEventRerunCutAtEveryOperationIsOldOrNewAfterRecovery) {
  std::map<std::string, std::size_t> outcomes;
  // The old files kept by a second name, or renamed where the file system has no such names.
  for (const bool hard_links : {true, false}) {
    MemoryFileSystem counting;
    prepare(counting);
    if (!hard_links) counting.without_hard_links();
    ASSERT_EQ(run_program(kWork, three_events(), {}, &counting).status, 0);
    const std::size_t operations = counting.all_calls();
    for (const auto crash : {MemoryFileSystem::Crash::kKill, MemoryFileSystem::Crash::kPowerCut,
                             MemoryFileSystem::Crash::kMixed}) {
      for (std::size_t nth = 1; nth <= operations + 1; ++nth) {
        const std::string label = "crash " + std::to_string(static_cast<int>(crash)) + " at #" +
                                  std::to_string(nth) + (hard_links ? "" : " without hard links");
        MemoryFileSystem files;
        prepare(files);
        if (!hard_links) files.without_hard_links();
        files.crash_at(nth, crash);
        (void)run_program(kWork, three_events(), {}, &files);
        files.restart();
        recordio::Units next(files, kWork);
        recordio::JournalState found = recordio::JournalState::kNone;
        ASSERT_NO_THROW(next.recover_series(found)) << label;
        const std::string state = series_state(files);
        EXPECT_TRUE(state == "old" || state == "new") << label << ": " << state;
        for (const auto& [name, bytes] : files.tree(kWork / "event")) {
          EXPECT_EQ(name.find(".bak"), std::string::npos) << label << ": " << name;
          EXPECT_EQ(name.find(".quorlant.journal"), std::string::npos) << label << ": " << name;
        }
        ++outcomes[state + (found == recordio::JournalState::kNone ? "" : " recovered")];
      }
    }
  }
  // Cut before, while and after the series was put in place: all three were met.
  EXPECT_GT(outcomes["old"], 0U);
  EXPECT_GT(outcomes["old recovered"], 0U);
  EXPECT_GT(outcomes["new"] + outcomes["new recovered"], 0U);
}

// A journal left by a run cut off while it replaced its series, and one cut off after: `check`
// and the dry run change nothing and say what the next run will do; the next run does it, says
// so, and goes on.
TEST(Crash, AJournalIsReportedByTheCheckAndTheDryRunAndSettledByTheNextRun) {
  const std::string journal_line =
      "event\\ holds the journal of a run cut off while it put its series in place: ";
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"the next run of quorlant puts the old series back", "the old series is put back"},
      {"its new series is whole; the next run of quorlant removes the copies of the old files",
       "its new series is whole, and the copies of the old files are removed"},
  };
  std::size_t nth = 1;
  for (const auto& [next_run_will, next_run_did] : rows) {
    MemoryFileSystem files;
    // The first crash after which the journal is in this state.
    for (bool found = false; !found; ++nth) {
      ASSERT_LT(nth, 1000U);
      files = MemoryFileSystem();
      prepare(files);
      files.crash_at(nth, MemoryFileSystem::Crash::kKill);
      (void)run_program(kWork, three_events(), {}, &files);
      files.restart();
      const auto journal = files.bytes(kWork / "event/.quorlant.journal");
      found = journal && journal->ends_with("\ndone\n") == (next_run_did != rows[0].second) &&
              journal->find("\nsum ") != std::string::npos;
    }
    const auto before = files.tree(kWork);
    const auto check = run_program(kWork, "", {"check"}, &files);
    EXPECT_EQ(check.status, 2);
    EXPECT_EQ(check.err, "quorlant check: " + journal_line + next_run_will + "\n");
    const auto help = run_program(kWork, "", {"check", "--help"}, &files);
    EXPECT_EQ(std::tie(help.status, help.err), std::tuple(0, "")) << help.err;
    EXPECT_NE(help.out.find("\nUsage: quorlant check"), std::string::npos) << help.out;
    const auto dry = run_program(kWork, three_events(), {"--dry-run"}, &files);
    EXPECT_EQ(dry.status, 2);
    EXPECT_EQ(dry.err, "quorlant: " + journal_line + next_run_will + "\n");
    EXPECT_EQ(files.tree(kWork), before);
    const auto next = run_program(kWork, three_events(), {}, &files);
    EXPECT_EQ(next.status, 0);
    EXPECT_EQ(next.err, "quorlant: " + journal_line + next_run_did + "\n");
    EXPECT_EQ(series_state(files), "new");
    EXPECT_EQ(leftovers(files), "");
  }
}

// A journal cut short, or one that names files other than this program's own beside their
// targets, removes nothing but its own temporaries.
TEST(Crash, AJournalNamingOtherFilesTouchesNone) {
  MemoryFileSystem files;
  prepare(files);
  files.make_file(kWork / "notes.txt", "keep\n");
  files.make_file(kWork / "event/.20150101.evt.tmp7.0", "staged\n");
  // Journal text: the per cent sign, the tab and the line end of a name as %XX.
  const auto text = [](const std::filesystem::path& path) {
    std::string escaped;
    for (const char c : path.string()) {
      escaped += c == '%' ? "%25" : c == '\t' ? "%09" : c == '\n' ? "%0A" : std::string(1, c);
    }
    return escaped;
  };
  // A backup beside a journal that fails its sum was never made by it: it is kept.
  files.make_file(kWork / "event/.20150101.evt.bak7.0", "a backup\n");
  const std::string event = text(kWork / "event/20150101.evt");
  files.make_file(kWork / "event/.quorlant.journal",
                  "quorlant series journal 1\n%ZZ\t%\t\n" + event + "\t" +
                      text(kWork / "notes.txt") + "\t\n" + event + "\t" +
                      text(kWork / "event/.20150101.evt.tmp7.0") + "\t" +
                      text(kWork / "event/.20150101.evt.bak7.0") + "\nsum 0\n");
  const auto next = run_program(kWork, "0\n1\n2015 01 01 00\n", {}, &files);
  EXPECT_EQ(next.status, 0) << next.err;
  EXPECT_EQ(files.bytes(kWork / "notes.txt"), "keep\n");
  EXPECT_EQ(series_state(files), "old");
  EXPECT_EQ(leftovers(files), "event/.20150101.evt.bak7.0 ");
}

}  // namespace
}  // namespace quorlant::reliability
