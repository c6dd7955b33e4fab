// The same cases on the system's file system and on the fake most tests run on: where the two
// answer differently, a test on the fake proves nothing of a real run.
#include <gtest/gtest.h>

#ifdef _WIN32
TEST(SeamCases, ArePosixOnly) {
  GTEST_SKIP() << "the system side builds its trees with POSIX calls: owners, FIFOs, mode bits";
}
#else
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
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
using platform::FileKind;
using platform::kNoFile;

constexpr uid_t kNobody = 65534;

// A tree on one of the two file systems, its top held; names are relative to the top.
class Bench {
 public:
  virtual ~Bench() = default;
  virtual platform::FileSystem& files() = 0;
  virtual void directory(const std::string& name) = 0;
  virtual void file(const std::string& name, const std::string& bytes) = 0;
  virtual void link(const std::string& name, const std::string& to, bool foreign) = 0;
  virtual void pipe(const std::string& name) = 0;  // on the fake, a device: no regular file
  virtual void read_only(const std::string& name) = 0;
  virtual void second_name(const std::string& name, const std::string& existing) = 0;
  virtual std::string bytes(const std::string& name) = 0;
  FileHandle top = kNoFile;
};

class SystemBench final : public Bench {
 public:
  SystemBench() {
    if (files_.open_directory(kNoFile, dir_.path(), top)) throw std::runtime_error("no top");
  }
  ~SystemBench() override { files_.close_directory(top); }
  platform::FileSystem& files() override { return files_; }
  void directory(const std::string& name) override { fs::create_directory(dir_ / name); }
  void file(const std::string& name, const std::string& bytes) override {
    testing::write_file(dir_ / name, bytes);
  }
  void link(const std::string& name, const std::string& to, bool foreign) override {
    fs::create_symlink(to, dir_ / name);
    if (foreign && ::lchown((dir_ / name).c_str(), kNobody, kNobody) != 0)
      throw std::runtime_error("lchown " + name);
  }
  void pipe(const std::string& name) override {
    if (::mkfifo((dir_ / name).c_str(), 0644) != 0) throw std::runtime_error("mkfifo " + name);
  }
  void read_only(const std::string& name) override { fs::permissions(dir_ / name, fs::perms(0444)); }
  void second_name(const std::string& name, const std::string& existing) override {
    fs::create_hard_link(dir_ / existing, dir_ / name);
  }
  std::string bytes(const std::string& name) override { return testing::read_bytes(dir_ / name); }

 private:
  testing::TempDir dir_;
  platform::SystemFileSystem files_;
};

class MemoryBench final : public Bench {
 public:
  MemoryBench() {
    files_.make_directory("/t");
    if (files_.open_directory(kNoFile, "/t", top)) throw std::runtime_error("no top");
  }
  platform::FileSystem& files() override { return files_; }
  void directory(const std::string& name) override { files_.make_directory("/t/" + name); }
  void file(const std::string& name, const std::string& bytes) override {
    files_.make_file("/t/" + name, bytes);
  }
  void link(const std::string& name, const std::string& to, bool foreign) override {
    files_.make_link("/t/" + name, to, foreign ? kNobody : testing::MemoryFileSystem::kMe);
  }
  void pipe(const std::string& name) override { files_.make_device("/t/" + name); }
  void read_only(const std::string& name) override { files_.set_read_only("/t/" + name); }
  void second_name(const std::string& name, const std::string& existing) override {
    files_.make_hard_link("/t/" + name, "/t/" + existing);
  }
  std::string bytes(const std::string& name) override {
    return files_.bytes("/t/" + name).value_or("<none>");
  }

 private:
  testing::MemoryFileSystem files_;
};

// What a case ends with: the error as a condition (the fake's and the system's categories
// differ), and what the case then sees, in words.
struct Outcome {
  std::error_condition error;
  std::string facts;
  bool operator==(const Outcome&) const = default;
};
void PrintTo(const Outcome& outcome, std::ostream* out) {
  *out << '"' << outcome.error.message() << "\", " << outcome.facts;
}
Outcome outcome(std::error_code error, std::string facts) {
  return {error.default_error_condition(), std::move(facts)};
}

std::string kind_name(FileKind kind) {
  static constexpr const char* kNames[] = {"missing", "regular",   "directory",
                                           "link",    "fifo",      "other"};
  return kNames[static_cast<std::size_t>(kind)];
}

// `name` of the directory `directory` of the top ("" for the top itself), a link not followed.
platform::FileStatus status_in(Bench& bench, const std::string& directory, const std::string& name) {
  FileHandle held = bench.top;
  if (!directory.empty() && bench.files().open_directory(bench.top, directory, held)) return {};
  platform::FileStatus status;
  if (bench.files().status_at(held, name, status)) status = {};
  if (held != bench.top) bench.files().close_directory(held);
  return status;
}

// The names of the directory `name` of the top, sorted.
std::string names_in(Bench& bench, const std::string& name) {
  FileHandle held = kNoFile;
  if (bench.files().open_directory(bench.top, name, held)) return "<not held>";
  std::vector<std::string> names;
  const bool listed = !bench.files().names_at(held, names);
  bench.files().close_directory(held);
  std::sort(names.begin(), names.end());
  std::string text = listed ? "" : "<not listed>";
  for (const auto& each : names) text += each + ";";
  return text;
}

Outcome resolved(Bench& bench, const std::string& name) {
  platform::Target target;
  platform::Resolution resolution;
  const auto error = bench.files().resolve(bench.top, "S", name, target, resolution);
  if (!error && target.directory != bench.top) bench.files().close_directory(target.directory);
  if (error) {
    return outcome(error, resolution.link.generic_string() +
                              (resolution.link_owner.empty() ? " no owner" : " an owner"));
  }
  const bool same = target.status.id == status_in(bench, "other", "f").id;
  const bool in_other = target.directory_id == status_in(bench, "", "other").id;
  return outcome(error, target.name + " " + kind_name(target.status.kind) +
                            (same ? " one id" : " two ids") + (in_other ? " in other" : ""));
}

Outcome moved_under_a_held_handle(Bench& bench) {
  platform::FileSystem& files = bench.files();
  FileHandle held = kNoFile;
  FileHandle file = kNoFile;
  auto error = files.open_directory(bench.top, "d", held);
  if (!error) error = files.rename_at(bench.top, "d", "moved");
  if (!error) {
    bench.link("d", "other", false);
    error = files.create_at(held, "new", {}, file);
  }
  if (file != kNoFile) (void)files.close(file);
  if (held != kNoFile) files.close_directory(held);
  return outcome(error, "moved: " + names_in(bench, "moved") + " other: " + names_in(bench, "other"));
}

struct Row {
  std::string name;
  bool foreign;  // gives a link to another user: the system side needs root
  std::function<void(Bench&)> build;
  std::function<Outcome(Bench&)> act;
  Outcome expected;
};

const std::vector<Row>& rows() {
  const auto none = std::error_condition();
  const auto as = [](std::errc code) { return std::make_error_condition(code); };
  static const std::vector<Row> table = {
      {"ForeignLinkLast", true,
       [](Bench& b) { b.file("f", "x"); b.link("l", "f", true); },
       [](Bench& b) { return resolved(b, "l"); },
       {platform::foreign_link_error().default_error_condition(), "S/l an owner"}},
      {"ForeignLinkMiddle", true,
       [](Bench& b) { b.directory("other"); b.file("other/f", "x"); b.link("mid", "other", true); },
       [](Bench& b) { return resolved(b, "mid/f"); },
       {platform::foreign_link_error().default_error_condition(), "S/mid an owner"}},
      {"OwnLinkToAnotherDirectory", false,
       [](Bench& b) {
         b.directory("w"); b.directory("other"); b.file("other/f", "x");
         b.link("w/l", "../other/f", false);
       },
       [](Bench& b) { return resolved(b, "w/l"); },
       {none, "f regular one id in other"}},
      {"RenameOntoReadOnlyFile", false,
       [](Bench& b) { b.file("new", "fresh"); b.file("ro", "old"); b.read_only("ro"); },
       [](Bench& b) {
         const auto error = b.files().rename_at(b.top, "new", "ro");
         return outcome(error, b.bytes("ro") + " " + kind_name(status_in(b, "", "new").kind));
       },
       {none, "fresh missing"}},
      {"OpenPlainOfFifo", false, [](Bench& b) { b.pipe("p"); },
       [](Bench& b) {
         FileHandle file = kNoFile;
         platform::Entry entry;
         const auto error = b.files().open_plain_at(b.top, "p", file, entry);
         if (file != kNoFile) b.files().close_plain(file);
         return outcome(error, (file == kNoFile ? "no file " : "a file ") + kind_name(entry.kind));
       },
       {none, "no file other"}},
      {"NameSwappedUnderHeldDirectory", false,
       [](Bench& b) { b.directory("d"); b.directory("other"); }, moved_under_a_held_handle,
       {none, "moved: new; other: "}},
      {"SecondName", false, [](Bench& b) { b.file("f", "x"); b.second_name("g", "f"); },
       [](Bench& b) {
         platform::FileStatus status;
         const auto error = b.files().status_at(b.top, "f", status);
         return outcome(error, "links " + std::to_string(status.links));
       },
       {none, "links 2"}},
      {"OpenAtALink", false, [](Bench& b) { b.file("f", "old"); b.link("l", "f", false); },
       [](Bench& b) {
         FileHandle file = kNoFile;
         FileKind kind = FileKind::kMissing;
         const auto error = b.files().open_at(b.top, "l", file, kind);
         if (file != kNoFile) {
           (void)b.files().write(file, "new", 0);
           (void)b.files().close(file);
         }
         return outcome(error, b.bytes("f") + " " + kind_name(status_in(b, "", "l").kind));
       },
       {as(std::errc::too_many_symbolic_link_levels), "old link"}},
  };
  return table;
}

class SeamCases : public ::testing::TestWithParam<std::tuple<std::size_t, bool>> {};

TEST_P(SeamCases, AnswerAlike) {
  const auto [index, on_system] = GetParam();
  const Row& row = rows()[index];
  if (on_system && row.foreign && ::geteuid() != 0)
    GTEST_SKIP() << "needs root to give a link to another user";
  const std::unique_ptr<Bench> bench = on_system ? std::unique_ptr<Bench>(new SystemBench)
                                                 : std::unique_ptr<Bench>(new MemoryBench);
  row.build(*bench);
  EXPECT_EQ(row.act(*bench), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Seam, SeamCases,
                         ::testing::Combine(::testing::Range<std::size_t>(0, rows().size()),
                                            ::testing::Bool()),
                         [](const auto& param_info) {
                           return rows()[std::get<0>(param_info.param)].name +
                                  (std::get<1>(param_info.param) ? "_System" : "_Memory");
                         });

}  // namespace
}  // namespace quorlant::recordio
#endif  // _WIN32
