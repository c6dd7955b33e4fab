#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "recordio/console.h"

namespace quorlant::recordio {

/// What became of one event file.
enum class FileOutcome { kCreated, kWouldBeCreated, kWouldReplace };

/// What a run tells whoever started it, as events rather than as text to be read back: the
/// dialogue's transcript is one listener, the listing of a run without the dialogue another.
class RunListener {
 public:
  virtual ~RunListener() = default;
  /// An event file written, or in a dry run one that would be; `path` as its table entry holds it.
  virtual void event_file(std::string_view path, FileOutcome outcome) = 0;
  /// The end of a dry run: the files it would write, how many of them replace one, and what an
  /// earlier series leaves beside them ("" when nothing).
  virtual void dry_run_counts(std::int32_t files, std::int32_t replaced,
                              std::string_view earlier) = 0;
  /// The program aborts the run: the lines that report why, then its stop message.
  virtual void aborted(std::span<const std::string> report, std::string_view stop_message) = 0;
};

/// The events as the console transcript shows them, as message lines on `console`.
class TranscriptListener : public RunListener {
 public:
  explicit TranscriptListener(Console& console) : console_(console) {}
  void event_file(std::string_view path, FileOutcome outcome) override;
  void dry_run_counts(std::int32_t files, std::int32_t replaced,
                      std::string_view earlier) override;
  void aborted(std::span<const std::string> report, std::string_view stop_message) override;

 private:
  Console& console_;
};

}  // namespace quorlant::recordio
