// The same cases on the system's file system and on the fake most tests run on: where the two
// answer differently, a test on the fake proves nothing of a real run.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "memory_file_system.h"
#include "test_support.h"

namespace quorlant::recordio {
namespace {

namespace fs = std::filesystem;
using platform::FileHandle;
using platform::kNoFile;
using Name = const std::string&;
constexpr unsigned kNobody = 65534;

void must(bool done) {
  if (!done) throw std::runtime_error("cannot build the tree");
}

enum Make { kDirectory, kFile, kLink, kForeignLink, kPipe, kReadOnly, kSecondName };

// A tree on the system's file system (in a directory of its own) or on the fake, its top held.
class Bench {
 public:
  explicit Bench(bool on_system) : on_system_(on_system) {
    if (!on_system_) memory_.make_directory("/t");
    must(!files().open_directory(kNoFile, on_system_ ? dir_.path() : "/t", top));
  }
  ~Bench() { files().close_directory(top); }
  platform::FileSystem& files() { return on_system_ ? system_ : fake(); }
  std::string bytes(Name name) {
    return on_system_ ? testing::read_bytes(dir_ / name) : *memory_.bytes("/t/" + name);
  }
  // `arg`: a file's bytes, a link's target, or the file given a second name.
  void make(Make what, Name name, Name arg = "") {
    if (!on_system_) return make_in_memory(what, "/t/" + name, arg);
    const fs::path at = dir_ / name;
    switch (what) {
      case kDirectory: fs::create_directory(at); break;
      case kFile: testing::write_file(at, arg); break;
      case kLink: fs::create_symlink(arg, at); break;
      case kReadOnly: fs::permissions(at, fs::perms(0444)); break;
      case kSecondName: fs::create_hard_link(dir_ / arg, at); break;
#ifndef _WIN32
      case kForeignLink:
        fs::create_symlink(arg, at);
        must(::lchown(at.c_str(), kNobody, kNobody) == 0);
        break;
      case kPipe: must(::mkfifo(at.c_str(), 0644) == 0); break;
#else
      default: throw std::logic_error("a POSIX row");
#endif
    }
  }
  FileHandle top = kNoFile;

 private:
  platform::FileSystem& fake() { return memory_; }
  void make_in_memory(Make what, Name at, Name arg) {
    switch (what) {
      case kDirectory: memory_.make_directory(at); break;
      case kFile: memory_.make_file(at, arg); break;
      case kLink: memory_.make_link(at, arg); break;
      case kForeignLink: memory_.make_link(at, arg, kNobody); break;
      case kPipe: memory_.make_device(at); break;  // its only kind that is no regular file
      case kReadOnly: memory_.set_read_only(at); break;
      case kSecondName: memory_.make_hard_link(at, "/t/" + arg); break;
    }
  }
  bool on_system_;
  testing::TempDir dir_;
  platform::SystemFileSystem system_;
  testing::MemoryFileSystem memory_;
};

// The error as a condition (the two give it in different categories), then what the case saw.
std::string outcome(std::error_code error, Name facts) {
  return error.default_error_condition().message() + " | " + facts;
}
std::string kind_of(platform::FileKind kind) {
  static const char* const kinds[] = {"missing", "regular", "directory", "link", "fifo", "other"};
  return kinds[static_cast<std::size_t>(kind)];
}

// What status_at says of `name` in the directory `directory` of the top ("": the top itself).
platform::FileStatus status_in(Bench& bench, Name directory, Name name) {
  FileHandle held = bench.top;
  platform::FileStatus status;
  if (!directory.empty()) must(!bench.files().open_directory(bench.top, directory, held));
  must(!bench.files().status_at(held, name, status));
  if (held != bench.top) bench.files().close_directory(held);
  return status;
}

std::string resolved(Bench& bench, Name name) {
  platform::Target target;
  platform::Resolution met;
  const auto error = bench.files().resolve(bench.top, "S", name, target, met);
  const std::string owned = met.link_owner.empty() ? "" : " owned";
  if (error) return outcome(error, met.link.generic_string() + owned);
  if (target.directory != bench.top) bench.files().close_directory(target.directory);
  const bool alias = target.status.id == status_in(bench, "other", "f").id;
  const bool in_other = target.directory_id == status_in(bench, "", "other").id;
  return outcome(error, target.name + " " + kind_of(target.status.kind) + (alias ? " alias" : "") +
                            (in_other ? " in other" : ""));
}

// Where a row can be made on the system's file system.
enum Needs {
  kAnywhere,
  kPosix,  // a link or a pipe: Wine makes neither, and Windows has no pipe in a directory
  kRoot,   // a link of another user's: only root can give one
};

struct Row {
  std::string name;
  Needs needs;
  std::function<void(Bench&)> build;
  std::function<std::string(Bench&)> act;
  std::string expected;
  std::string on_windows = expected;  // the system's answer there, where it is its own
};

// clang-format off
const std::vector<Row> kRows = {
    {"ForeignLinkLast", kRoot, [](Bench& b) { b.make(kFile, "f", "x"); b.make(kForeignLink, "l", "f"); },
     [](Bench& b) { return resolved(b, "l"); }, "Permission denied | S/l owned"},
    {"ForeignLinkMiddle", kRoot,
     [](Bench& b) { b.make(kDirectory, "o"); b.make(kFile, "o/f", "x"); b.make(kForeignLink, "m", "o"); },
     [](Bench& b) { return resolved(b, "m/f"); }, "Permission denied | S/m owned"},
    {"OwnLinkIntoAnotherDirectory", kPosix,
     [](Bench& b) {
       b.make(kDirectory, "w"); b.make(kDirectory, "other"); b.make(kFile, "other/f", "x");
       b.make(kLink, "w/l", "../other/f");
     },
     [](Bench& b) { return resolved(b, "w/l"); }, "Success | f regular alias in other"},
    // A rename asks the directory's permission, not that of the file it replaces. (Wine lets
    // it; Windows refuses it, a case the run never meets: it refuses a read-only file first.)
    {"RenameOntoReadOnlyFile", kAnywhere,
     [](Bench& b) { b.make(kFile, "new", "fresh"); b.make(kFile, "ro", "old"); b.make(kReadOnly, "ro"); },
     [](Bench& b) {
       const auto error = b.files().rename_at(b.top, "new", "ro");
       return outcome(error, b.bytes("ro") + ", new " + kind_of(status_in(b, "", "new").kind));
     }, "Success | fresh, new missing"},
    // Never waits for a writer; keeps nothing open that is no regular file.
    {"OpenPlainOfFifo", kPosix, [](Bench& b) { b.make(kPipe, "p"); },
     [](Bench& b) {
       FileHandle file = kNoFile;
       platform::Entry entry;
       const auto error = b.files().open_to_read(b.top, "p", platform::Reading::kPlain, file, entry);
       if (file != kNoFile) (void)b.files().close(file);
       return outcome(error, (file == kNoFile ? "" : "open ") + kind_of(entry.kind));
     }, "Success | other"},
    // d held, then renamed away and its name made a link: the handle still names d. On
    // Windows a held directory cannot be renamed at all.
    {"NameSwappedUnderHeldDirectory", kAnywhere,
     [](Bench& b) { b.make(kDirectory, "d"); b.make(kDirectory, "other"); },
     [](Bench& b) {
       FileHandle held = kNoFile;
       FileHandle file = kNoFile;
       must(!b.files().open_directory(b.top, "d", held));
       if (const auto refused = b.files().rename_at(b.top, "d", "moved")) {
         b.files().close_directory(held);
         return outcome(refused, "d held");
       }
       b.make(kLink, "d", "other");
       const auto error = b.files().create_at(held, "new", {}, file);
       if (file != kNoFile) (void)b.files().close(file);
       b.files().close_directory(held);
       return outcome(error, kind_of(status_in(b, "moved", "new").kind) + " in moved, " +
                             kind_of(status_in(b, "other", "new").kind) + " in other");
     }, "Success | regular in moved, missing in other", "Permission denied | d held"},
    {"SecondName", kAnywhere, [](Bench& b) { b.make(kFile, "f", "x"); b.make(kSecondName, "g", "f"); },
     [](Bench& b) { return outcome({}, std::to_string(status_in(b, "", "f").links) + " names"); },
     "Success | 2 names"},
    // A name this run makes must be new; one that is gone is no failure to remove.
    {"CreateOverAndRemoveMissing", kAnywhere, [](Bench& b) { b.make(kFile, "f", "old"); },
     [](Bench& b) {
       FileHandle file = kNoFile;
       const auto error = b.files().create_at(b.top, "f", {}, file);
       if (file != kNoFile) (void)b.files().close(file);
       const auto removed = b.files().remove_at(b.top, "gone");
       return outcome(error, b.bytes("f") + ", " + removed.default_error_condition().message());
     }, "File exists | old, Success"},
    {"OpenAtOfALink", kPosix, [](Bench& b) { b.make(kFile, "f", "old"); b.make(kLink, "l", "f"); },
     [](Bench& b) {
       FileHandle file = kNoFile;
       platform::FileKind kind = platform::FileKind::kMissing;
       const auto error = b.files().open_at(b.top, "l", file, kind);
       if (file != kNoFile) (void)b.files().close(file);
       return outcome(error, b.bytes("f") + ", l " + kind_of(status_in(b, "", "l").kind));
     }, "Too many levels of symbolic links | old, l link"},
};
// clang-format on

class SeamCases : public ::testing::TestWithParam<std::size_t> {};

TEST_P(SeamCases, AnswerAlike) {
  const Row& row = kRows[GetParam()];
  if (row.needs != kAnywhere && testing::kOnWindows)
    GTEST_SKIP() << "no link under Wine, and no pipe in a Windows directory";
  for (const bool on_system : {false, true}) {
#ifndef _WIN32
    if (on_system && row.needs == kRoot && ::geteuid() != 0)
      GTEST_SKIP() << "needs root to give a link to another user";
#endif
    SCOPED_TRACE(on_system ? "on the system's file system" : "on the fake");
    Bench bench(on_system);
    row.build(bench);
    // The fake answers as POSIX does everywhere.
    EXPECT_EQ(row.act(bench), on_system && testing::kOnWindows ? row.on_windows : row.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Seam, SeamCases, ::testing::Range<std::size_t>(0, kRows.size()),
                         [](const auto& param_info) { return kRows[param_info.param].name; });

}  // namespace
}  // namespace quorlant::recordio
