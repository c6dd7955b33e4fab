// `quorlant check` on a 480-event monthly series (18,720 references), every second
// rainfall file there, beside the run that writes the same series.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "check/check_command.h"
#include "eventfile/event_names.h"
#include "recordio/record_io.h"
#include "run/run_sequence.h"

namespace {

namespace fs = std::filesystem;
using namespace quorlant;

// A working directory holding a series of monthly events from 2015 01, written by a real run.
class SeriesDirectory {
 public:
  explicit SeriesDirectory(int events) {
    path_ = fs::temp_directory_path() /
            ("quorlant-check-bench-" + std::to_string(std::random_device{}()));
    fs::create_directories(path_ / "event");
    fs::create_directories(path_ / "raing");
    std::istringstream in(std::to_string(events) +
                          "\n1\n2015 01 01 00\ny\n1.0\nn\nn\n1\nn\nn\nn\nn\nn\ngr10k\n\n\n");
    std::ostringstream out;
    platform::SystemFileSystem files;
    recordio::RecordIo io(in, out, out, files, path_, eventfile::kSeriesNames);
    if (run::run_sequence(io) != 0) throw std::runtime_error("run failed");
    int month = 0;
    for (const auto& entry : fs::directory_iterator(path_ / "event")) {
      const std::string stem = entry.path().stem().string();
      if (entry.path().extension() == ".evt" && ++month % 2 == 0) {
        std::ofstream(path_ / "raing" / (stem + "_rag.tb0")) << "x";  // an empty one is missing
      }
    }
  }
  SeriesDirectory(const SeriesDirectory&) = delete;
  SeriesDirectory& operator=(const SeriesDirectory&) = delete;
  ~SeriesDirectory() { fs::remove_all(path_); }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void BM_Check(benchmark::State& state) {
  const auto events = static_cast<int>(state.range(0));
  const SeriesDirectory dir(events);
  const std::string_view json[] = {"--json"};
  platform::SystemFileSystem files;
  for (auto _ : state) {
    std::ostringstream out;
    std::ostringstream err;
    if (check::main_check(json, out, err, dir.path(), files) != 1) state.SkipWithError("no gap found");
    benchmark::DoNotOptimize(out.str().data());
  }
  state.counters["per_event"] = benchmark::Counter(
      static_cast<double>(events),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_Check)->Arg(480)->Unit(benchmark::kMillisecond);

}  // namespace
