// The whole run against the floor: the same files, with the same bytes, in the same order of
// opens and closes, written by the plainest code that can (open, one write, close).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "eventfile/event_names.h"
#include "eventfile/write_event.h"
#include "events/event_calendar.h"
#include "events/file_name_set.h"
#include "recordio/record_io.h"
#include "program.h"
#include "run/run_sequence.h"

namespace {

namespace fs = std::filesystem;
using namespace quorlant;

class Directory {
 public:
  Directory() {
    std::string pattern = (fs::temp_directory_path() / "quorlant-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    path_ = pattern;
    fs::create_directory(path_ / "event");
  }
  ~Directory() { fs::remove_all(path_); }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

std::string answers(int events, int months) {
  return std::to_string(events) + "\n" + std::to_string(months) +
         "\n2015 01 01 00\ny\n1.0\nn\nn\n1\nn\nn\nn\nn\nn\ngr10k\n\n\n";
}

// The system's files without the durable flush: what the run costs without the flush of the
// staged files, of the journal and of the directories.
class WithoutFlush final : public platform::SystemFileSystem {
 public:
  using Handle = platform::FileHandle;
  std::error_code flush(Handle) override { return {}; }
  std::error_code start_write_back(Handle) override { return {}; }
  std::error_code sync_directory(Handle) override { return {}; }
};

int run_once(const fs::path& dir, const std::string& script, bool durable = true) {
  std::istringstream in(script);
  std::ostringstream out;
  std::ostringstream err;
  platform::SystemFileSystem system_files;
  WithoutFlush without_flush;
  recordio::RecordIo io(in, out, err,
                        durable ? static_cast<platform::FileSystem&>(system_files)
                                : without_flush,
                        dir, eventfile::kSeriesNames);
  return run::run_sequence(io);
}

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One file written by the floor: opened, written once, closed.
struct FloorWrite {
  std::string path;
  std::string bytes;
};

// The opens and writes of a whole run, in the run's order, with the run's bytes. The event
// files and the last scratch files come from a real run; the earlier scratch-file contents
// differ from the last only in the event's date, which is put in by hand.
std::vector<FloorWrite> floor_plan(const fs::path& dir, int events, int months) {
  if (run_once(dir, answers(events, months)) != 0) throw std::runtime_error("run failed");
  std::vector<std::string> names;
  std::istringstream list(slurp(dir / "event/events_to_follow.txt"));
  for (std::string line; std::getline(list, line);) names.push_back(line.substr(7, 8));
  const std::string last_temp3 = slurp(dir / "temp3.fls");
  const std::string last_name = names.back();
  std::vector<FloorWrite> plan;
  plan.push_back({(dir / "temp0.fls").string(), slurp(dir / "temp0.fls")});
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    const std::string yy = name.substr(0, 4), mm = name.substr(4, 2), dd = name.substr(6, 2);
    if (i > 0) plan.push_back({(dir / "temp5.fls").string(), name + "\n"});
    plan.push_back({(dir / "temp1.fls").string(), yy + " " + mm + " " + dd + " 00\n"});
    if (i == 0) plan.push_back({(dir / "temp2.fls").string(), name + "\n"});
    std::string temp3 = last_temp3;
    for (std::size_t at = temp3.find(last_name); at != std::string::npos;
         at = temp3.find(last_name, at + 8)) {
      temp3.replace(at, 8, name);
    }
    plan.push_back({(dir / "temp3.fls").string(), temp3});
    plan.push_back(
        {(dir / "event" / (name + ".evt")).string(), slurp(dir / "event" / (name + ".evt"))});
  }
  plan.push_back(
      {(dir / "event/events_to_follow.txt").string(), slurp(dir / "event/events_to_follow.txt")});
  return plan;
}

void write_plainly(const FloorWrite& file) {
  const int fd = ::open(file.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0 || ::write(fd, file.bytes.data(), file.bytes.size()) !=
                    static_cast<ssize_t>(file.bytes.size())) {
    throw std::runtime_error("floor write failed");
  }
  ::close(fd);
}

// How the floor writes the event files.
enum class EventFiles {
  kInPlace,
  kReplacing,  // to a new file beside each, renamed into place once complete
  kDurable,    // as kReplacing, each flushed (fdatasync) before its rename, the directory synced
  kBatch,      // staged beside each, written back as closed, flushed as one batch after the
               // last, then all renamed and the directory synced once
};

// The floor, but an event file written as the run writes it: to a new file beside it, renamed
// into place once complete, so a failed run never leaves it half written; flushed first when
// `durable`, so a power cut never leaves it empty.
void write_replacing(const FloorWrite& file, bool durable) {
  const std::string temp = file.path + ".tmp";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0 || ::write(fd, file.bytes.data(), file.bytes.size()) !=
                    static_cast<ssize_t>(file.bytes.size())) {
    throw std::runtime_error("floor write failed");
  }
  if (durable && ::fdatasync(fd) != 0) throw std::runtime_error("fdatasync failed");
  ::close(fd);
  if (::rename(temp.c_str(), file.path.c_str()) != 0) throw std::runtime_error("rename failed");
}

// The batch floor's staged file: written, its write-back started, kept open for the batch flush.
int write_staged(const FloorWrite& file) {
  const std::string temp = file.path + ".tmp";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0 || ::write(fd, file.bytes.data(), file.bytes.size()) !=
                    static_cast<ssize_t>(file.bytes.size())) {
    throw std::runtime_error("floor write failed");
  }
  if (::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE) != 0)
    throw std::runtime_error("sync_file_range failed");
  return fd;
}

void sync_directory(const fs::path& directory) {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) throw std::runtime_error("directory sync failed");
  ::close(fd);
}

void BM_WholeRun(benchmark::State& state, int months, bool durable) {
  Directory dir;
  const auto events = static_cast<int>(state.range(0));
  const std::string script = answers(events, months);
  for (auto _ : state) {
    if (run_once(dir.path(), script, durable) != 0) state.SkipWithError("run failed");
  }
  state.counters["per_event"] = benchmark::Counter(
      static_cast<double>(events),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Floor(benchmark::State& state, int months, EventFiles event_files) {
  Directory dir;
  const auto events = static_cast<int>(state.range(0));
  const std::vector<FloorWrite> plan = floor_plan(dir.path(), events, months);
  const std::string run_log = (dir.path() / "evt_info.txt").string();
  for (auto _ : state) {
    // The run log is opened first and closed last, never written.
    const int log_fd = ::open(run_log.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    std::vector<std::pair<int, const FloorWrite*>> staged;
    for (const FloorWrite& file : plan) {
      if (event_files == EventFiles::kBatch &&
          (file.path.ends_with(".evt") || file.path.ends_with("events_to_follow.txt"))) {
        staged.emplace_back(write_staged(file), &file);
      } else if (event_files != EventFiles::kInPlace && file.path.ends_with(".evt")) {
        write_replacing(file, event_files == EventFiles::kDurable);
      } else {
        write_plainly(file);
      }
    }
    for (const auto& [fd, file] : staged) {
      if (::fdatasync(fd) != 0 || ::close(fd) != 0) throw std::runtime_error("flush failed");
    }
    for (const auto& [fd, file] : staged) {
      if (::rename((file->path + ".tmp").c_str(), file->path.c_str()) != 0)
        throw std::runtime_error("rename failed");
    }
    if (event_files == EventFiles::kDurable || event_files == EventFiles::kBatch)
      sync_directory(dir.path() / "event");
    ::close(log_fd);
  }
  state.counters["per_event"] = benchmark::Counter(
      static_cast<double>(events),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

shared::RunData sample_data() {
  shared::RunData data;
  data.snwflg = "y";
  for (auto* flag : {&data.vapflg, &data.smrflg, &data.resinflg, &data.wetflg, &data.divertflg,
                     &data.lakeflg, &data.iceflg}) {
    *flag = "n";
  }
  data.deltat_report = 1;
  data.bsnme = "gr10k";
  data.no_months = 1;
  data.start = "2015 01 01 00";
  events::split_start(data);
  data.evtname = "20150101";
  data.iyear = 2015;
  data.imonth = 1;
  return data;
}

// One part of the run on its own: the record I/O layer in a temporary directory, sample data.
struct PartBench {
  Directory dir;
  std::istringstream in;
  std::ostringstream out;
  platform::SystemFileSystem files;
  recordio::RecordIo io{in, out, out, files, dir.path(), eventfile::kSeriesNames};
  shared::RunData data = sample_data();
};

void BM_WriteEvent(benchmark::State& state) {
  PartBench bench;
  auto& [dir, in, out, files, io, data] = bench;
  events::compose_name_set(io, data);
  data.fln[recordio::kFileUnit] = data.fln1.view();
  for (auto _ : state) {
    data.evtlength = 744;
    eventfile::write_event(io, data);
  }
}

void BM_NameSet(benchmark::State& state) {
  PartBench bench;
  for (auto _ : state) events::compose_name_set(bench.io, bench.data);
}

void BM_CalendarStep(benchmark::State& state) {
  PartBench bench;
  auto& [dir, in, out, files, io, data] = bench;
  for (auto _ : state) {
    data.iyear = 2015;  // keep the year in four columns however long the benchmark runs
    events::advance_to_next_event(io, data);
    events::take_event_length(io, data, false);
  }
}

// The record of temp1.fls: the event's start texts, blank-separated.
void BM_FormattedRecord(benchmark::State& state) {
  using recordio::Skip;
  using recordio::TextField;
  const recordio::Format format{TextField{}, Skip{1}, TextField{}, Skip{1},
                                TextField{}, Skip{1}, TextField{}};
  std::string record;
  const recordio::OutItem items[] = {std::string_view("2015"), std::string_view("01"),
                                     std::string_view("01"), std::string_view("00")};
  for (auto _ : state) {
    record.clear();
    recordio::format_records(format, items, record);
    benchmark::DoNotOptimize(record.data());
  }
}

// The 480 monthly events of one command line, given as answer options and as the equivalent
// answer script: both are one run of the same questionnaire and loop, so about the same time.
void BM_Program(benchmark::State& state, bool options) {
  Directory dir;
  const std::vector<std::string_view> arguments = {
      "--events", "480",           "--months-per-event", "1",
      "--start",  "2015 01 01 00", "--report-step",      "1",
      "--basin",  "gr10k"};
  const std::string script = "480\n1\n2015 01 01 00\nn\nn\nn\n1\nn\nn\nn\nn\nn\ngr10k\n\n\n";
  for (auto _ : state) {
    std::istringstream in(options ? "" : script);
    std::ostringstream out;
    std::ostringstream err;
    const auto given = options ? std::span<const std::string_view>(arguments)
                               : std::span<const std::string_view>();
    platform::SystemFileSystem files;
    if (quorlant::main_program(given, in, out, err, files, dir.path()) != 0) {
      state.SkipWithError("run failed");
    }
  }
}

BENCHMARK_CAPTURE(BM_WholeRun, monthly, 1, true)
    ->Arg(12)
    ->Arg(120)
    ->Arg(480)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WholeRun, monthly_without_flush, 1, false)
    ->Arg(480)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Floor, monthly, 1, EventFiles::kInPlace)
    ->Arg(12)
    ->Arg(120)
    ->Arg(480)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Floor, monthly_replacing, 1, EventFiles::kReplacing)
    ->Arg(480)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Floor, monthly_replacing_durable, 1, EventFiles::kDurable)
    ->Arg(480)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Floor, monthly_batch, 1, EventFiles::kBatch)
    ->Arg(480)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WholeRun, yearly, 12, true)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Floor, yearly, 12, EventFiles::kInPlace)
    ->Arg(100)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Program, answer_script_480, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Program, answer_options_480, true)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteEvent)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NameSet)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CalendarStep)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FormattedRecord);

}  // namespace

BENCHMARK_MAIN();
