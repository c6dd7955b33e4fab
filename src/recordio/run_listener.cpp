#include "recordio/run_listener.h"

#include "recordio/fixed_text.h"
#include "recordio/message_line.h"

namespace quorlant::recordio {

void TranscriptListener::event_file(std::string_view path, FileOutcome outcome) {
  const std::string_view done = outcome == FileOutcome::kCreated ? "... created"
                                : outcome == FileOutcome::kWouldReplace
                                    ? "... would replace an existing file"
                                    : "... would be created";
  // The path padded to 60 characters, then the words right after it.
  console_.write(message_line({padded(path, 60), done}) + "\n");
}

void TranscriptListener::dry_run_counts(std::int32_t files, std::int32_t replaced,
                                        std::string_view earlier) {
  console_.write(message_line({"dry run: " + std::to_string(files) + " event files, " +
                               std::to_string(files - replaced) + " new, " +
                               std::to_string(replaced) +
                               " replacing existing ones; nothing was written"}) +
                 "\n");
  if (!earlier.empty()) console_.write(message_line({"dry run: " + std::string(earlier)}) + "\n");
}

void TranscriptListener::aborted(std::span<const std::string> report,
                                 std::string_view stop_message) {
  for (const std::string& line : report) console_.write(line + "\n");
  console_.write(std::string(stop_message) + "\n");
  console_.flush();
}

}  // namespace quorlant::recordio
