#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "recordio/fixed_text.h"

namespace quorlant::shared {

using recordio::FixedText;

/// A file name as the program keeps it: 256 characters, blank-padded.
using FileName = FixedText<256>;

/// The file-name table: 601 names indexed 1 to 601 by the unit number of the file each names.
class FileNameTable {
 public:
  static constexpr int kEntries = 601;

  FileName& operator[](int entry) { return (*entries_)[index(entry)]; }
  const FileName& operator[](int entry) const { return (*entries_)[index(entry)]; }

 private:
  static std::size_t index(int entry) { return static_cast<std::size_t>(entry - 1); }
  // Obtained once, from dynamic storage, for the whole run.
  std::unique_ptr<std::array<FileName, kEntries>> entries_ =
      std::make_unique<std::array<FileName, kEntries>>();
};

/// The entry of the file-name table that holds the path of the event file being written. It is
/// the event file's unit number by the table's rule, but the two are kept apart by name.
inline constexpr int kEventFileEntry = 99;

/// The run-wide data: the answers, the event in hand and the file names. The main sequence
/// writes it; write_event only reads it.
struct RunData {
  // First group of answers.
  std::int32_t noevents = 0;
  std::int32_t no_months = 0;
  FixedText<13> start;

  // Second group of answers. The option answers are kept exactly as typed.
  FixedText<1> snwflg;
  FixedText<1> vapflg;
  FixedText<1> smrflg;
  FixedText<1> resinflg;
  FixedText<1> wetflg;
  FixedText<1> divertflg;
  FixedText<1> lakeflg;
  FixedText<1> iceflg;
  // The factor and the rate keep these when they are not asked (no snow melt, no
  // disaggregation).
  float snconv = 1.0F;
  float disaggregation_rate = 0.0F;  // mm/h
  std::int32_t deltat_report = 0;
  FixedText<8> bsnme;

  // The event in hand.
  FixedText<4> yy1;
  FixedText<2> mm1;
  FixedText<2> dd1;
  FixedText<2> hh1;
  FixedText<8> evtname;
  std::int32_t iyear = 0;
  std::int32_t imonth = 0;
  std::int32_t evtlength = 0;

  FileNameTable fln;
  FileName fln1;
};

}  // namespace quorlant::shared
