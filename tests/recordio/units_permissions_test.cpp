// Replacing a file as a user other than its owner. The test drops to the unprivileged user
// "nobody" in a child process, so it needs to start as root (as CI does); elsewhere it skips.
#include <gtest/gtest.h>

#ifdef _WIN32
TEST(UnitsReplaceWholeAsAnotherUser, IsPosixOnly) {
  GTEST_SKIP() << "users, setuid and mode bits are POSIX's; Windows tests its read-only and "
                  "held-open files in reliability/windows_test.cpp";
}
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "eventfile/event_names.h"
#include "recordio/units.h"
#include "reliability/reliability_support.h"

namespace quorlant::recordio {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::TempDir;
using testing::write_file;

constexpr uid_t kNobody = 65534;

// Runs `body` as nobody in a child; returns its exit code, or -1 when it did not exit.
template <class Body>
int as_nobody(Body body) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(99);
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A working directory nobody may enter but not write in, with an event directory alike.
struct LockedDirectory {
  LockedDirectory() {
    fs::permissions(dir.path(), fs::perms(0755));
    fs::create_directory(dir / "event");
    fs::permissions(dir / "event", fs::perms(0755));
  }
  TempDir dir;
};

int replace_with(const fs::path& base, std::string_view records) {
  platform::SystemFileSystem files;
  Units units(files, base, eventfile::kSeriesNames);
  units.connect(99, "event\\x.evt", OpenMode::kReplaceWhole);
  if (const Failure* failed = units.open_failure(99))
    return failed->error().is(std::errc::permission_denied) ? 10 : 11;
  try {
    units.write(99, records);
    units.close(99);
  } catch (...) {
    return 12;
  }
  return 0;
}

// A file it may write, in a directory that takes no new file: rewriting it in place could leave
// it cut short by a full disk, so the open fails instead. A file it may not write, in a
// directory that would take new files, is an open failure too. Either stays untouched.
TEST(UnitsReplaceWholeAsAnotherUser, AFileItMayOrMayNotWriteIsAnOpenFailureAndStaysUntouched) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  struct Row {
    std::string label;
    fs::perms directory, file;
    std::string old;
  };
  const Row rows[] = {
      {"a file it may write", fs::perms(0755), fs::perms(0666),
       "old line one\nold line two\nold line three\n"},
      {"a file it may not write", fs::perms(0777), fs::perms(0644), "old\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    LockedDirectory locked;
    fs::permissions(locked.dir / "event", row.directory);
    write_file(locked.dir / "event/x.evt", row.old);
    fs::permissions(locked.dir / "event/x.evt", row.file);

    EXPECT_EQ(as_nobody([&] { return replace_with(locked.dir.path(), "new\n"); }), 10);
    EXPECT_EQ(read_file(locked.dir / "event/x.evt"), row.old);
    EXPECT_EQ(std::distance(fs::directory_iterator(locked.dir / "event"), fs::directory_iterator()),
              1);
  }
}

// In a shared directory (world-writable, sticky), a link another user planted anywhere on the
// way of a file the run writes is refused before anything is written there, with the link and
// its owner named: the files it leads to stay untouched, none is removed.
TEST(UnitsReplaceWholeAsAnotherUser, ALinkPlantedByAnotherUserIsRefusedAtEveryStep) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the links to another user";
  struct Case {
    std::string label;
    std::function<void(const fs::path& dir, const fs::path& work)> plant;
    std::string link;  // as the report names it; "DIR" stands for the test's directory
  };
  const auto planted = [](const fs::path& target, const fs::path& link) {
    fs::create_symlink(target, link);
    ASSERT_EQ(::lchown(link.c_str(), kNobody, kNobody), 0);
  };
  const std::vector<Case> rows = {
      // A scratch file is the run's own: the link goes, and the run makes its own file.
      {"a scratch file",
       [&](const fs::path& dir, const fs::path& work) {
         fs::create_directory(work / "event");
         planted(dir / "secret", work / "temp3.fls");
       },
       ""},
      {"a scratch file that is a second name of another file",
       [&](const fs::path& dir, const fs::path& work) {
         fs::create_directory(work / "event");
         fs::create_hard_link(dir / "secret", work / "temp3.fls");
       },
       ""},
      {"event itself, with the secret files as its event files",
       [&](const fs::path& dir, const fs::path& work) { planted(dir / "root", work / "event"); },
       "event"},
      {"links in another user's own event directory",
       [&](const fs::path& dir, const fs::path& work) {
         fs::create_directory(work / "event");
         ASSERT_EQ(::chown((work / "event").c_str(), kNobody, kNobody), 0);
         planted(dir / "secret", work / "event/events_to_follow.txt");
         planted(dir / "root/20150101.evt", work / "event/20150101.evt");
       },
       "event\\events_to_follow.txt"},
      {"the second link of a chain, in a sticky directory",
       [&](const fs::path& dir, const fs::path& work) {
         fs::create_directory(work / "event");
         fs::create_directory(dir / "sticky");
         fs::permissions(dir / "sticky", fs::perms(01777));
         fs::create_symlink(dir / "sticky/next", work / "event/20150101.evt");
         planted(dir / "root/20150101.evt", dir / "sticky/next");
       },
       "DIR/sticky/next"},
  };
  for (const Case& row : rows) {
    SCOPED_TRACE(row.label);
    TempDir dir;
    fs::create_directories(dir / "work");
    fs::create_directories(dir / "root");
    fs::permissions(dir / "work", fs::perms(01777));
    write_file(dir / "secret", "root's own\n");
    write_file(dir / "root/20150101.evt", "root's own\n");
    write_file(dir / "root/.20150101.evt.tmp999999999.0", "root's own\n");
    row.plant(dir.path(), dir / "work");

    const auto result = testing::run_program(dir / "work", reliability::whole_script());
    std::string link = row.link;
    if (link.starts_with("DIR")) link = (dir.path() / link.substr(4)).string();
    EXPECT_EQ(std::tie(result.status, result.err),
              link.empty() ? std::tuple(0, std::string())
                           : std::tuple(2, "quorlant: " + link +
                                               ": a link made by user nobody; quorlant follows "
                                               "only links you made\n"));
    EXPECT_EQ(read_file(dir / "secret"), "root's own\n");
    EXPECT_EQ(testing::entries(dir / "root"),
              (std::set<std::string>{".20150101.evt.tmp999999999.0", "20150101.evt"}));
    EXPECT_EQ(read_file(dir / "root/20150101.evt"), "root's own\n");
  }
}

// A run in a shared event directory removes only its own user's dead temporaries: another
// user's, a note named like one, a link and a directory all stay, and the run ends normally.
TEST(UnitsReplaceWholeAsAnotherUser, TheSweepTakesOnlyThisUsersOwnDeadTemporaries) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files to another user";
  TempDir dir;
  const fs::path event = dir / "work/event";
  fs::create_directories(event);
  fs::permissions(event, fs::perms(01777));
  write_file(dir / "elsewhere", "kept\n");
  // A user's notes, another user's temporary, a link and a directory: none is this run's.
  const std::set<std::string> theirs = {".notes.tmp999999999.1", ".20150101.evt.tmp999999999.1",
                                        ".20150101.evt.tmp999999999.2",
                                        ".20150101.evt.tmp999999999.3"};
  write_file(event / ".notes.tmp999999999.1", "a user's notes\n");
  write_file(event / ".20150101.evt.tmp999999999.1", "another user's\n");
  ASSERT_EQ(::chown((event / ".20150101.evt.tmp999999999.1").c_str(), kNobody, kNobody), 0);
  fs::create_symlink(dir / "elsewhere", event / ".20150101.evt.tmp999999999.2");
  fs::create_directory(event / ".20150101.evt.tmp999999999.3");
  write_file(event / ".20150201.evt.tmp999999999.4", "this user's, dead\n");

  const auto result = testing::run_program(dir / "work", reliability::whole_script());
  EXPECT_EQ(result.status, 0) << result.err;
  std::set<std::string> left = theirs;
  left.insert({"20150101.evt", "20150201.evt", "events_to_follow.txt"});
  EXPECT_EQ(testing::entries(event), left);
  EXPECT_EQ(read_file(dir / "elsewhere"), "kept\n");
}

// A pipe in place of an event file is refused before the first event file is written, at
// once, even with a reader that would take the records.
TEST(UnitsReplaceWhole, APipeIsNeverWritten) {
  TempDir dir;
  fs::create_directories(dir / "work/event");
  ASSERT_EQ(::mkfifo((dir / "work/event/20150201.evt").c_str(), 0644), 0);
  const int reader = ::open((dir / "work/event/20150201.evt").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  const auto started = std::chrono::steady_clock::now();
  const auto result = testing::run_program(dir / "work", reliability::whole_script());
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  char byte = 0;
  EXPECT_EQ(::read(reader, &byte, 1), 0);  // nothing was written into it
  ::close(reader);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(
      result.err,
      "quorlant: event\\20150201.evt: not a regular file (a pipe or a socket); never written\n");
  EXPECT_FALSE(fs::exists(dir / "work/event/20150101.evt"));
}

}  // namespace
}  // namespace quorlant::recordio
#endif  // _WIN32
