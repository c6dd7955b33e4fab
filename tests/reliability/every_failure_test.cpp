// A re-run of a three-event series on the in-memory file system, every operation failed in turn
// and the run cut off at every operation by a crash: the series is old or new as a whole, a
// "... created" line names only a file in place, and nothing is left behind that the next run
// does not settle.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "memory_file_system.h"
#include "eventfile/event_names.h"
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
  ASSERT_EQ(counting.open_handles(), 0U);
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
        EXPECT_EQ(files.open_handles(), 0U) << label;  // whatever failed, nothing is left open
        ++runs;
        // Status 0 exactly when the new series is in place and told; any other with the old
        // series and one report. What could not be tidied after the commit is one warning.
        if (result.status == 0) {
          EXPECT_EQ(state, "new") << label;
          EXPECT_EQ(count_of(result.out, "... created"), 3U) << label;
          EXPECT_TRUE(result.err.empty() ||
                      (count_of(result.err, "\n") == 1 &&
                       result.err.ends_with("; the new series is in place, and the next run of "
                                            "quorlant removes what is left\n")))
              << label << ": " << result.err;
        } else {
          EXPECT_EQ(report_problem(result, error), "") << label;
          EXPECT_EQ(result.out.find("... created"), std::string::npos) << label;
          EXPECT_EQ(result.out.find("Normal ending"), std::string::npos) << label;
        }
        // The next run settles whatever is left: the same series, and nothing beside it.
        recordio::Units next(files, kWork, eventfile::kSeriesNames);
        ASSERT_NO_THROW(next.lock_event_folder()) << label;
        recordio::JournalState found = recordio::JournalState::kNone;
        EXPECT_NO_THROW(next.recover_series(found)) << label;
        EXPECT_EQ(series_state(files), result.status == 0 ? "new" : "old") << label;
        EXPECT_EQ(leftovers(files), "") << label;
      }
    }
  }
  // Opens, writes, flushes, renames, links and the questions all took part.
  for (const Call call : {Call::kStatus, Call::kResolve, Call::kOpen, Call::kCreate, Call::kWrite,
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
        recordio::Units next(files, kWork, eventfile::kSeriesNames);
        ASSERT_NO_THROW(next.lock_event_folder()) << label;
        recordio::JournalState found = recordio::JournalState::kNone;
        ASSERT_NO_THROW(next.recover_series(found)) << label;
        const std::string state = series_state(files);
        EXPECT_TRUE(state == "old" || state == "new") << label << ": " << state;
        EXPECT_EQ(leftovers(files), "") << label;
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
    // While a live run holds the lock, the journal is that run's, not one cut off.
    files.lock_held_by("4242");
    for (const std::string who : {"quorlant check", "quorlant"}) {  // NOLINT: a copy is meant
      const auto live = run_program(kWork, three_events(),
                                    {who == "quorlant" ? "--dry-run" : "check"}, &files);
      EXPECT_EQ(std::tie(live.status, live.err),
                std::tuple(2, who + ": a run of quorlant (process 4242) is putting its series in "
                                    "place in event\\ now: look again once it has ended\n"));
    }
    files.lock_held_by_none();
    const auto check = run_program(kWork, "", {"check"}, &files);
    EXPECT_EQ(check.status, 2);
    EXPECT_EQ(check.err, "quorlant check: " + journal_line + next_run_will + "\n");
    // A script reading the JSON gets a document for this outcome too.
    const auto json = run_program(kWork, "", {"check", "--json"}, &files);
    EXPECT_EQ(nlohmann::json::parse(json.out),
              (nlohmann::json{{"error", journal_line + next_run_will}, {"verdict", "cannot check"}}));
    const auto help = run_program(kWork, "", {"check", "--help"}, &files);
    EXPECT_EQ(std::tie(help.status, help.err), std::tuple(0, "")) << help.err;
    EXPECT_TRUE(help.out.starts_with("Usage: quorlant check")) << help.out;
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

// A journal that is not this user's own as the program writes it is never acted on: the run,
// the dry run and the check end with status 2, change nothing, and say why.
TEST(Crash, AJournalNotToBeTrustedChangesNothing) {
  const auto journal = [](const std::string& entries) {
    std::string text = "quorlant series journal 2\n" + entries;
    std::uint64_t sum = 14695981039346656037ULL;  // 64-bit FNV-1a of all before the sum line
    for (const char c : text) sum = (sum ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    char line[32];
    std::snprintf(line, sizeof line, "sum %016llx\n", static_cast<unsigned long long>(sum));
    return text + line;
  };
  const std::string good = journal("20150101.evt\t.20150101.evt.tmp7.0\t.20150101.evt.bak7.0\n");
  const std::string at = (kWork / "event/.quorlant.journal").string();
  struct Row {
    std::string reason;
    std::function<void(MemoryFileSystem&)> plant;
  };
  std::vector<Row> rows = {
      {"it is a link", [&](auto& f) { f.make_link(at, "/elsewhere"); }},
      {"it is not a regular file", [&](auto& f) { f.make_device(at); }},
      {"it is another user's file", [&](auto& f) { f.make_file(at, good, 1001); }},
      {"it is larger than any journal quorlant writes",
       [&](auto& f) { f.make_file(at, std::string((16U << 20) + 1, 'x')); }},
      {"it does not begin as this version's journals do",
       [&](auto& f) { f.make_file(at, std::string(16U << 20, 'x')); }},
      {"it does not begin as this version's journals do",
       [&](auto& f) { f.make_file(at, "quorlant series journal 1\n" + good.substr(26)); }},
      {"its check sum fails: it was changed after quorlant wrote it",
       [&](auto& f) { f.make_file(at, good.substr(0, good.size() - 2) + "0\n"); }},
      {"it has no check sum", [&](auto& f) { f.make_file(at, good.substr(0, good.find("sum"))); }},
      {"its check sum is followed by more than the done mark",
       [&](auto& f) { f.make_file(at, good + "done\nmore\n"); }},
      {"line 3 names no file of a series of its own",
       [&](auto& f) {
         f.make_file(at, journal("20150101.evt\t.20150101.evt.tmp7.0\t\n"
                                 "20150101.evt\t.20150101.evt.tmp7.1\t\n"));
       }},
      // An escape's hex letter read as its byte: "%2E" is '.'.
      {"it names files beside notes.txt, and event\\20150101.evt leads to 20150101.evt",
       [&](auto& f) { f.make_file(at, journal("20150101.evt\t.notes%2Etxt.tmp7.0\t\n")); }},
      // An escape of a control byte: "%0F".
      {"it names files beside notes\\x0ftxt, and event\\20150101.evt leads to 20150101.evt",
       [&](auto& f) { f.make_file(at, journal("20150101.evt\t.notes%0Ftxt.tmp7.0\t\n")); }},
      // An escape that ends the line is read as any other.
      {"it names files beside notes.txt, and event\\20150101.evt leads to 20150101.evt",
       [&](auto& f) {
         f.make_file(at, journal("20150101.evt\t.notes.txt.tmp7.0\t.notes.txt.bak7.%30\n"));
       }},
      {".20150101.evt.bak7.0 beside event\\20150101.evt is not a file quorlant made",
       [&](auto& f) {
         f.make_file(at, good);
         f.make_file(kWork / "event/.20150101.evt.bak7.0", "another user's\n", 1001);
       }},
  };
  // Line 2 naming what is not a series file, its temporary or its copy, or not this one's.
  for (const char* entry : {"/secret\t.secret.tmp7.0\t\n", "20150101.evt\t../notes.txt\t\n",
                            "20150101.evt\tnotes.txt\t\n", "20150101.evt\tx20150101.evt.tmp7.0\t\n",
                            "20150101.evt\t.20150101.evt.tmp7.0\t.20150201.evt.bak7.0\n",
                            "20150101.evt\t.20150101.evt.tmp7.%4\t\n",
                            "20150101.evt\t.20150101%2Gevt.tmp7.0\t\n",
                            "20150101.evt\t.20150101.evt.tmp7.0\t.20150101.evt.tmp7.0\n"}) {
    rows.push_back({"line 2 names no file of a series of its own",
                    [&, entry](auto& f) { f.make_file(at, journal(entry)); }});
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(row.reason);
    MemoryFileSystem files;
    prepare(files);
    files.make_file("/secret", "keep\n");
    files.make_file(kWork / "notes.txt", "keep\n");
    files.make_file(kWork / "event/.20150101.evt.tmp7.0", "staged\n");
    row.plant(files);
    const auto before = files.tree("/");
    const std::string says = ": event\\.quorlant.journal is not a journal quorlant can trust (" +
                             row.reason +
                             "): nothing was changed; look at it, and remove it yourself when no "
                             "run of quorlant was cut off in event\\\n";
    for (const std::vector<std::string_view>& arguments :
         {std::vector<std::string_view>{}, {"--dry-run"}, {"check"}}) {
      const auto result = run_program(kWork, three_events(), arguments, &files);
      EXPECT_EQ(result.status, 2);
      EXPECT_EQ(result.out, "");
      EXPECT_EQ(result.err,
                (arguments.empty() || arguments[0] != "check" ? "quorlant" : "quorlant check") +
                    says);
      EXPECT_EQ(files.tree("/"), before);
    }
  }
}

// Event files of an earlier series that a shorter re-run does not write stay, and are told: on
// the error stream by the run, in the summary by the dry run.
TEST(EarlierSeries, AShorterRerunSaysWhatItLeaves) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> rows = {
      {{"20100101.evt", "20121101.evt", "notes.evt", "2015010.evt"},
       "2 event files of an earlier series stay in event\\ (20100101 to 20121101); the list "
       "names only this run's 3"},
      {{"20201201.evt"},
       "1 event file of an earlier series stays in event\\ (20201201); the list names only this "
       "run's 3"},
      {{}, ""},
  };
  for (const auto& [names, told] : rows) {
    MemoryFileSystem files;
    prepare(files);
    for (const std::string& name : names) files.make_file(kWork / "event" / name, "earlier\n");
    const auto dry = run_program(kWork, three_events(), {"--dry-run"}, &files);
    EXPECT_EQ(dry.status, 0) << told;
    EXPECT_EQ(dry.out.find(" dry run: " + told + "\n") != std::string::npos, !told.empty()) << dry.out;
    const auto run = run_program(kWork, three_events(), {}, &files);
    EXPECT_EQ(run.err, told.empty() ? "" : "quorlant: " + told + "\n");
    EXPECT_EQ(series_state(files), "new");
    for (const std::string& name : names) EXPECT_EQ(files.bytes(kWork / "event" / name), "earlier\n");
  }
}

// Under the lock, with no journal, every temporary and copy of this user's in event\ is a dead
// run's, whatever its process number (a run in a container is always process 1); another
// user's stays.
TEST(Crash, TheLockedFolderIsClearedOfEveryDeadRunsFiles) {
  MemoryFileSystem files;
  prepare(files);
  files.set_running({1});
  for (const std::string name : {".20150101.evt.tmp1.0", ".20150101.evt.bak1.0",
                                 ".events_to_follow.txt.tmp1.2", "..quorlant.journal.tmp1.3"}) {
    files.make_file(kWork / "event" / name, "a dead run's\n");
  }
  files.make_file(kWork / "event/.20150201.evt.tmp1.1", "another user's\n", 1001);
  files.make_file(kWork / "event/x20150101.evt.tmp1.0", "a user's own, named alike\n");
  const auto result = run_program(kWork, three_events(), {}, &files);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(series_state(files), "new");
  EXPECT_EQ(leftovers(files), "event/.20150201.evt.tmp1.1 ");
  EXPECT_EQ(files.bytes(kWork / "event/x20150101.evt.tmp1.0"), "a user's own, named alike\n");
}

}  // namespace
}  // namespace quorlant::reliability
