// Replacing a file as a user other than its owner. The test drops to the unprivileged user
// "nobody" in a child process, so it needs to start as root (as CI does); elsewhere it skips.
#include <gtest/gtest.h>

#ifdef _WIN32
TEST(UnitsReplaceWholeAsAnotherUser, IsPosixOnly) {
  GTEST_SKIP() << "users, setuid and mode bits are POSIX's; Windows tests its read-only and "
                  "held-open files in reliability/windows_test.cpp";
}
#else
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

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
  Units units(files, base);
  const std::error_code error = units.open(99, "event\\x.evt", OpenMode::kReplaceWhole);
  if (error) return error == std::errc::permission_denied ? 10 : 11;
  try {
    units.write(99, records);
    units.close(99);
  } catch (...) {
    return 12;
  }
  return 0;
}

// Rewriting it in place could leave it cut short by a full disk: the open fails instead.
TEST(UnitsReplaceWholeAsAnotherUser,
     AFileItMayWriteIsAnOpenFailureWhenTheDirectoryTakesNoNewFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  LockedDirectory locked;
  write_file(locked.dir / "event/x.evt", "old line one\nold line two\nold line three\n");
  fs::permissions(locked.dir / "event/x.evt", fs::perms(0666));

  EXPECT_EQ(as_nobody([&] { return replace_with(locked.dir.path(), "new\n"); }), 10);
  EXPECT_EQ(read_file(locked.dir / "event/x.evt"), "old line one\nold line two\nold line three\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(locked.dir / "event"), fs::directory_iterator()),
            1);
}

TEST(UnitsReplaceWholeAsAnotherUser, AFileItMayNotWriteIsAnOpenFailureAndStaysUntouched) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  LockedDirectory locked;
  fs::permissions(locked.dir / "event", fs::perms(0777));  // new files could be made here
  write_file(locked.dir / "event/x.evt", "old\n");
  fs::permissions(locked.dir / "event/x.evt", fs::perms(0644));

  EXPECT_EQ(as_nobody([&] { return replace_with(locked.dir.path(), "new\n"); }), 10);
  EXPECT_EQ(read_file(locked.dir / "event/x.evt"), "old\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(locked.dir / "event"), fs::directory_iterator()),
            1);
}

// In a shared directory (world-writable, sticky), a link another user planted where the run
// writes a scratch file is refused before it is written: the file it names stays untouched.
TEST(UnitsReplaceWholeAsAnotherUser, ALinkPlantedByAnotherUserIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the link to another user";
  TempDir dir;
  fs::create_directory(dir / "work");
  fs::create_directory(dir / "work/event");
  fs::permissions(dir / "work", fs::perms(01777));
  write_file(dir / "secret", "root's own\n");
  fs::create_symlink(dir / "secret", dir / "work/temp3.fls");
  ASSERT_EQ(::lchown((dir / "work/temp3.fls").c_str(), kNobody, kNobody), 0);

  const auto result = testing::run_program(dir / "work", reliability::whole_script());
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "quorlant: cannot open temp3.fls: Permission denied\n");
  EXPECT_EQ(read_file(dir / "secret"), "root's own\n");
}

}  // namespace
}  // namespace quorlant::recordio
#endif  // _WIN32
