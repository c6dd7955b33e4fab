#include "run/run_sequence.h"

#include <gtest/gtest.h>

#ifdef __linux__
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>

#include "memory_file_system.h"
#include "eventfile/event_names.h"
#include "reliability/reliability_support.h"

namespace quorlant::run {
namespace {

// The series is checked before its first file: a file that cannot be replaced, a directory
// that takes no new file or a disk without room leaves event\ as it was, in a real run and in
// a dry run alike.

namespace fs = std::filesystem;
using platform::SystemFileSystem;

// Sets a file's immutable (or append-only) flag, or clears both; false where this system or user
// cannot.
bool set_immutable(const fs::path& path, bool on, bool append_only = false) {
#ifdef __linux__
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
  if (fd < 0) return false;
  int flags = 0;
  bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  const int flag = append_only ? FS_APPEND_FL : FS_IMMUTABLE_FL;
  flags = on ? flags | flag : flags & ~(FS_IMMUTABLE_FL | FS_APPEND_FL);
  done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  ::close(fd);
  return done;
#else
  (void)path;
  (void)on;
  (void)append_only;
  return false;
#endif
}

using testing::snapshot;

struct Refusal {
  std::string label;
  std::function<bool(const fs::path& work)> setup;  // false: this system cannot make the case
  std::string out_ending;                           // how the transcript ends
  std::string err;
  int status;
  bool here = true;  // a case of this system: Windows has no immutable flag, POSIX no share mode
};

// Three monthly events: the whole script with its first answer 3.
const std::string kThreeEvents = "3" + reliability::whole_script().substr(1);

std::string one_file(const std::string& first, const std::string& second) {
  return "quorlant: " + first + " and " + second +
         " are one file (a link or a second name): quorlant writes each file of a series once, "
         "so neither is written\n";
}

TEST(SeriesCheck, NothingIsTouchedWhenAnyFileOfTheSeriesWouldFail) {
  using reliability::open_failure_report;
  const std::string third = "event\\20150301.evt";
  SystemFileSystem system;
  std::vector<fs::path> immutable;  // made mutable again after each row
  const auto immutable_file = [&](const char* name, bool append_only = false) {
    return [&, name, append_only](const fs::path& work) {
      immutable.push_back(work / name);
      return set_immutable(work / name, true, append_only);
    };
  };
  std::unique_ptr<std::ifstream> holder;  // another program holding a file open
  const bool posix = !testing::kOnWindows;
  const std::vector<Refusal> rows = {
      {"an immutable third event file", immutable_file("event/20150301.evt"),
       open_failure_report(third, 1), "", 1, posix},
      {"an append-only third event file", immutable_file("event/20150301.evt", true),
       open_failure_report(third, 1), "", 1, posix},
      {"a directory in place of the third event file",
       [](const fs::path& work) {
         fs::remove(work / "event/20150301.evt");
         return fs::create_directory(work / "event/20150301.evt");
       },
       open_failure_report(third, testing::kIsDirectoryError), "", 1},
      // The first file of the series is the first one found to need a new file there.
      {"an event directory that takes no new file", immutable_file("event"),
       open_failure_report("event\\20150101.evt", 1), "", 1, posix},
      // A link is replaced at the file it names, so that file's directory must take a new one.
      {"a link into a directory that takes no new file",
       [&](const fs::path& work) {
         fs::create_directory(work / "elsewhere");
         testing::write_file(work / "elsewhere/x.evt", "elsewhere");
         fs::remove(work / "event/20150301.evt");
         fs::create_symlink("../elsewhere/x.evt", work / "event/20150301.evt");
         return immutable_file("elsewhere")(work);
       },
       open_failure_report(third, 1), "", 1, posix},
      // Two names of the series for one file: one of them would be left without its own.
      {"a second event file that is a link to the first",
       [](const fs::path& work) {
         fs::create_symlink("20150101.evt", work / "event/20150201.evt");
         return true;
       },
       "", one_file("event\\20150101.evt", "event\\20150201.evt"), 2, posix},
      {"the list a second name of the third event file",
       [](const fs::path& work) {
         fs::remove(work / "event/events_to_follow.txt");
         fs::create_hard_link(work / "event/20150301.evt", work / "event/events_to_follow.txt");
         return true;
       },
       "", one_file(third, "event\\events_to_follow.txt"), 2, posix},
      // The real run cannot open its log: a dry run must not say 0 either.
      {"a working directory that takes no new file", immutable_file("."),
       " Please see file evt_info.txt for information re: this run\n",
       "quorlant: cannot open evt_info.txt: Operation not permitted\n", 2, posix},
      {"a read-only third event file (Windows)",
       [](const fs::path& work) {
         fs::permissions(work / "event/20150301.evt", fs::perms::owner_read);
         return true;
       },
       open_failure_report(third, 5), "", 1, !posix},
      {"a third event file held open by another program (Windows)",
       [&](const fs::path& work) {
         holder = std::make_unique<std::ifstream>(work / "event/20150301.evt");
         return true;
       },
       open_failure_report(third, 32), "", 1, !posix},
  };
  std::string not_made;  // the rows this system or user cannot make
  for (const Refusal& row : rows) {
    if (!row.here) continue;
    for (const bool dry_run : {false, true}) {
      const std::string label = row.label + (dry_run ? ", dry run" : "");
      testing::RunArea area;
      const fs::path& work = area.work;
      for (const char* name : {"20150101.evt", "20150301.evt", "events_to_follow.txt"})
        testing::write_file(work / "event" / name, "from an earlier run: " + std::string(name));
      const bool made = row.setup(work);
      const auto before = snapshot(dry_run ? work : work / "event");
      if (made) {
        std::istringstream in(kThreeEvents);
        std::ostringstream out;
        std::ostringstream err;
        recordio::RecordIo io(in, out, err, system, work, eventfile::kSeriesNames);
        if (dry_run) io.units().set_dry_run();
        EXPECT_EQ(testing::reported([&] { return run_sequence(io); }, err), row.status) << label;
        EXPECT_EQ(err.str(), row.err) << label;
        EXPECT_TRUE(out.str().ends_with(row.out_ending)) << label << "\n" << out.str();
        EXPECT_EQ(snapshot(dry_run ? work : work / "event"), before) << label;
      }
      holder.reset();
      for (const fs::path& path : immutable) set_immutable(path, false);
      immutable.clear();
      fs::permissions(work / "event/20150301.evt", fs::perms::owner_all);
      if (!made) {
        not_made += "\n  " + row.label;
        break;
      }
    }
  }
  if (!not_made.empty()) GTEST_SKIP() << "this system or user cannot make the rows:" << not_made;
}

// The same check on the memory file system, where every row can be made, the room to the byte
// and the file: three monthly events need 3 x (8192 + 75) + 8192 + 65536 = 98529 bytes, which
// is 97 KiB, and 3 + 16 = 19 new files.
TEST(SeriesCheck, TheRoomIsCheckedToTheByteAndTheFile) {
  using reliability::open_failure_report;
  using testing::MemoryFileSystem;
  struct Row {
    std::string label;
    std::function<void(MemoryFileSystem&)> setup;
    std::string out_ending, err;
    int status;
  };
  const auto room = [](std::uint64_t bytes, std::uint64_t files) {
    return [=](MemoryFileSystem& f) { f.set_room({bytes, files}); };
  };
  const std::vector<std::string_view> kReal, kDry = {"--dry-run"};
  const std::string pause = "Hit enter to continue\n";
  const std::string no_room =
      "quorlant: not enough room in event\\ for the series: its 3 event files need ";
  const std::vector<Row> rows = {
      {"room to the byte and the file", room(98529, 19), "Normal ending\n", "", 0},
      {"a byte too few", room(98528, 19), pause,
       no_room + "97 KiB with a margin, and 96 KiB are free\n", 2},
      {"a file too few", room(98529, 18), pause,
       no_room + "19 new files with a margin, and 18 can still be made\n", 2},
      {"a read-only third event file",
       [](MemoryFileSystem& f) { f.set_read_only("/w/event/20150301.evt"); },
       open_failure_report("event\\20150301.evt", 13), "", 1},
  };
  for (const Row& row : rows) {
    for (const std::vector<std::string_view>& arguments : {kReal, kDry}) {
      const bool dry_run = !arguments.empty();
      SCOPED_TRACE(row.label + (dry_run ? ", dry run" : ""));
      MemoryFileSystem files;
      files.make_directory("/w");
      files.make_directory("/w/event");
      for (const char* name : {"20150101.evt", "20150301.evt", "events_to_follow.txt"})
        files.make_file(fs::path("/w/event") / name, name);
      row.setup(files);
      const fs::path kept = dry_run ? "/w" : "/w/event";
      const auto before = files.tree(kept);
      const auto result = testing::run_program("/w", kThreeEvents, arguments, &files);
      EXPECT_EQ(std::tie(result.status, result.err), std::tie(row.status, row.err));
      EXPECT_TRUE(result.out.ends_with(row.out_ending)) << result.out;
      if (row.status != 0 || dry_run) {
        EXPECT_EQ(files.tree(kept), before);
      }
    }
  }
}

// Two runs started together in one directory: the first holds the lock on event\ from its
// start, the second ends at once with one line naming it and status 2, and writes nothing,
// whatever stray file or flag would once have let it through. No lock file is left.
TEST(RunLock, ASecondRunEndsAtOnceAndWritesNothing) {
  struct Case {
    std::string label;
    std::function<bool(const fs::path& work)> setup;  // false: this system cannot make it
    std::set<std::string> left;                       // in event\ after the first run
    int first_status = 0;
  };
  const std::set<std::string> series = {"20150101.evt", "20150201.evt", "events_to_follow.txt"};
  std::set<std::string> with_stray = series;
  with_stray.insert(".quorlant.lock");
  std::vector<Case> rows = {
      {"an event directory as it comes", [](const fs::path&) { return true; }, series}};
  // POSIX's rows: on Windows the lock is a file of that name, and a read-only one refuses every
  // run; and Windows has no immutable flag.
  if (!testing::kOnWindows) rows.insert(rows.end(), {
      {"a stray read-only lock file of an earlier version",
       [](const fs::path& work) {
         testing::write_file(work / "event/.quorlant.lock", "1\n");
         fs::permissions(work / "event/.quorlant.lock", fs::perms::owner_read);
         return true;
       },
       with_stray},
      // Root writes a read-only directory all the same: it is made immutable instead.
      {"an event directory no file can be made in, its files links to writable ones",
       [](const fs::path& work) {
         fs::create_directory(work / "data");
         for (const char* name : {"20150101.evt", "20150201.evt", "events_to_follow.txt"}) {
           testing::write_file(work / "data" / name, "");
           fs::create_symlink(std::string("../data/") + name, work / "event" / name);
         }
         return set_immutable(work / "event", true);
       },
       // The first run cannot make the journal there either: it changes nothing.
       series, 2}});
  std::string not_made;  // the rows this system or user cannot make
  for (const Case& row : rows) {
    SCOPED_TRACE(row.label);
    testing::RunArea area;
    if (!row.setup(area.work)) {
      not_made += "\n  " + row.label;
      continue;
    }
    testing::Child first({.argv = {testing::program().string()}, .directory = area.work});
    ASSERT_TRUE(first.wait_for_output("Enter the no of events to create:"));
    // Windows: the run's lock file is removed as it is closed, so it opens only for readers that
    // allow its removal, as the C runtime's open does not.
    const std::string_view lock_file = testing::kOnWindows ? ".quorlant.lock" : "";
    const auto before = snapshot(area.work, lock_file);
    testing::write_file(area.root / "answers", reliability::whole_script());
    const testing::Process second = testing::run_process({.argv = {testing::program().string()},
                                                          .directory = area.work,
                                                          .input = area.root / "answers"});
    EXPECT_EQ(second.status, 2);
    EXPECT_EQ(second.out, "");
    // The first run's number, where the system tells who holds a lock.
    std::smatch process;
    ASSERT_TRUE(std::regex_match(second.err, process,
                                 std::regex("quorlant: another run of quorlant \\(process "
                                            "([0-9]+)\\) is writing in this directory: it "
                                            "holds the lock on event\\\\\n")))
        << second.err;
    if (!testing::kOnWindows && fs::exists("/proc/self/cwd")) {
      EXPECT_EQ(fs::read_symlink("/proc/" + process[1].str() + "/cwd"), area.work);
    }
    EXPECT_EQ(snapshot(area.work, lock_file), before);
    first.type(reliability::whole_script());
    const testing::Process ended = first.finish();
    EXPECT_EQ(ended.status, row.first_status) << ended.err;
    set_immutable(area.work / "event", false);
    EXPECT_EQ(testing::entries(area.work / "event"), row.left);
    const fs::path list = fs::canonical(area.work / "event/events_to_follow.txt");
    EXPECT_EQ(testing::read_bytes(list).find('\0'), std::string::npos);
  }
  if (!not_made.empty()) GTEST_SKIP() << "this system or user cannot make the rows:" << not_made;
}

// The lock as the system answers it: held by another run (which the system may or may not
// name), or not to be taken at all. Either way the run ends at once with status 2, one line,
// and nothing written.
TEST(RunLock, ALockThatCannotBeTakenEndsTheRunBeforeAnything) {
  using testing::MemoryFileSystem;
  struct Case {
    std::function<void(MemoryFileSystem&)> setup;
    std::string err;
  };
  const std::vector<Case> rows = {
      {[](MemoryFileSystem& f) { f.lock_held_by("4242"); },
       "quorlant: another run of quorlant (process 4242) is writing in this directory: it holds "
       "the lock on event\\\n"},
      {[](MemoryFileSystem& f) {
         f.fail(MemoryFileSystem::Call::kLock, 1,
                std::make_error_code(std::errc::no_lock_available));
       },
       "quorlant: cannot lock event\\: " +
           platform::message_of(std::make_error_code(std::errc::no_lock_available)) +
           "\n"},
      // A directory this user may not lock is no reason to run unlocked.
      {[](MemoryFileSystem& f) {
         f.fail(MemoryFileSystem::Call::kLock, 1,
                std::make_error_code(std::errc::permission_denied));
       },
       "quorlant: cannot lock event\\: Permission denied\n"},
  };
  for (const Case& row : rows) {
    MemoryFileSystem files;
    files.make_directory("/w");
    files.make_directory("/w/event");
    row.setup(files);
    const auto result = testing::run_program("/w", reliability::whole_script(), {}, &files);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, row.err);
    EXPECT_EQ(files.tree("/w"), (std::map<std::string, std::string>{{"event", "<dir>"}}));
  }
}

// No event folder: every door ends right after the banner, before the first question, with the
// line that says where and what to do, and leaves the directory exactly as it was. A file in its
// place is met first by today's lock, except in a dry run.
TEST(EventFolder, ItsAbsenceEndsTheRunBeforeTheFirstQuestion) {
  testing::TempDir answers;
  testing::write_file(answers / "run.answers", reliability::whole_script());
  const std::string file = "--answers=" + (answers / "run.answers").string();
  const std::vector<std::vector<std::string_view>> doors = {
      {"--dry-run"},
      {},
      {"--strict"},
      {file},
      {"-q", "--events=1", "--months-per-event=1", "--start=2015 01 01 00", "--report-step=1",
       "--basin=gr10k"}};
  for (std::size_t door = 0; door < doors.size() + 1; ++door) {
    testing::TempDir top;
    // A name of the user's is written with its control characters escaped: the line end and the
    // terminal's escape here would otherwise forge a line and clear the screen.
    const std::string odd = testing::kOnWindows ? "work" : "work\n\x1b[2J";
    const fs::path dir = top / odd;
    fs::create_directory(dir);
    if (door == doors.size()) testing::write_file(dir / "event", "");
    const auto before = snapshot(dir);
    const auto result =
        testing::run_program(dir, reliability::whole_script(), doors[door % doors.size()]);
    EXPECT_EQ(std::tie(result.err, result.status),
              std::tuple("quorlant: there is no event folder in " + top.path().string() +
                             (testing::kOnWindows ? "\\work" : "/work\\n\\x1b[2J") +
                             ": make it with `mkdir event` (Windows: `md event`), or run quorlant "
                             "in the model's working directory\n",
                         2))
        << door;
    EXPECT_EQ(result.out.find("Enter the no of events"), std::string::npos) << door;
    EXPECT_EQ(snapshot(dir), before) << door;
  }
}

}  // namespace
}  // namespace quorlant::run
