#include "eventfile/write_event.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include "eventfile/event_file_writer.h"
#include "test_support.h"

namespace quorlant::eventfile {
namespace {

using testing::lines;
using testing::read_file;
using testing::write_file;

// The first event of a run of monthly events from 2015 01 01 00, snow melt y, basin gr10k,
// written out line by line with every trailing blank.
const std::string kTypicalFirstEvent = lines({
    // Lines 1 to 8: the start of the event.
    "#",
    ":filetype                     .evt ",
    ":fileversionno                9.9  ",
    ":year                         2015",
    ":month                        01",
    ":day                          01",
    ":hour                         00",
    "#",
    // Lines 9 to 36: the option answers and the fixed flags.
    ":snwflg                       y",
    ":sedflg                       n    ",
    ":vapflg                       n",
    ":smrflg                       n",
    ":resinflg                     n",
    ":tbcflg                       n    ",
    ":resumflg                     n    ",
    ":contflg                      n    ",
    ":routeflg                     n    ",
    ":crseflg                      n    ",
    ":kenueflg                     n    ",
    ":picflg                       n    ",
    ":wetflg                       n",
    ":modelflg                     n    ",
    ":shdflg                       n    ",
    ":trcflg                       n    ",
    ":frcflg                       n    ",
    ":initflg                      n    ",
    ":hdrflg                       n    ",
    ":grdflg                       n    ",
    ":ntrlflg                      n    ",
    ":nudgeflg                     n    ",
    ":resetflg                     n    ",
    ":divertflg                    n",
    ":pafflg                       n    ",
    ":fliflg                       n    ",
    ":lakeflg                      n",
    ":iceflg                       n",
    "#",
    // Lines 37 to 51: fixed factors, the rate, the lengths and the reporting step.
    ":intsoilmoisture              0.25 0.25 0.25 0.25 0.25",
    ":rainconvfactor                1.00",
    ":eventprecipscalefactor        1.00",
    ":precipscalefactor             0.00",
    ":eventsnowscalefactor          0.00",
    ":snowscalefactor               0.00",
    ":eventtempscalefactor          0.00",
    ":tempscalefactor               0.00",
    ":disaggregate                  0.00",
    "#",
    ":hoursraindata                  744",
    ":hoursflowdata                  744",
    ":deltat_report                    1",
    "#",
    // Lines 52 to 57: the basin files, each 30 columns wide.
    ":basinfilename                basin\\gr10k_shd.r2c           ",
    ":parfilename                  basin\\gr10k_par.csv           ",
    ":channelparfile               basin\\gr10k_ch_par.r2c        ",
    ":pointdatalocations           basin\\gr10k.pdl               ",
    ":snowcoverdepletioncurve      basin\\gr10k.sdc               ",
    ":waterqualitydatafile         basin\\gr10k.wqd               ",
    // Lines 58 to 79: point and hydrometric data, line 80 empty.
    "# station climate data",
    ":pointsoilmoisture            moist\\20150101_psm.pt2",
    ":pointprecip                  raing\\20150101_rag.tb0",
    ":pointtemps                   tempg\\20150101_tag.tb0",
    ":pointnetradiation                  ",
    ":pointhumidity                humid\\20150101_hum.tb0",
    ":pointwindspd                 winds\\20150101_spd.tb0",
    ":pointwinddir                 winds\\20150101_dir.tb0",
    ":pointlongwave                      ",
    ":pointshortwave                     ",
    ":pointatmpressure                   ",
    ":pointsnow                    snowg\\20150101_snw.tb0",
    ":pointdrain                   drain\\20150101_drn.tb0",
    ":pointdsnow                   dsnow\\20150101_dsn.tb0",
    "# hydrometric station data",
    ":streamflowdatafile           strfw\\20150101_str.tb0",
    ":reservoirreleasefile         resrl\\20150101_rel.tb0",
    ":reservoirinflowfile          resrl\\20150101_rin.tb0",
    ":diversionflowfile            diver\\20150101_div.tb0",
    ":snowcoursefile               snow1\\20150101_crs.pt2",
    ":initlakelevel                level\\20150101_ill.pt2",
    ":observedlakelevel            level\\20150101_lvl.tb0",
    "",
    // Lines 81 to 104: gridded data; the radar lines end in 4 characters.
    "# gridded data",
    ":radarfile                    raduc\\20150101.rad",
    ":rawradarfile                 radar\\20150101.scn",
    ":clutterfile                  radar\\20150101.clt",
    ":griddedinitsnowweq           snow1\\20150101_swe.r2c",
    ":griddedinitsoilmoisture      moist\\20150101_gsm.r2c",
    ":griddedinitlzs                     ",
    ":griddedrainfile              radcl\\20150101_met.r2c",
    ":griddedsnowfile                    ",
    ":griddedtemperaturefile       tempr\\20150101_tem.r2c",
    ":griddeddailydifference       tempr\\20150101_dif.r2c",
    ":griddednetradiation                ",
    ":griddedhumidity              humid\\20150101_hum.r2c",
    ":griddedwindspd               winds\\20150101_spd.r2c",
    ":griddedwinddir               winds\\20150101_dir.r2c",
    ":griddedlongwave                    ",
    ":griddedshortwave                   ",
    ":griddedatmpressure                 ",
    ":griddedsnow                  snowg\\20150101_snw.r2c",
    ":griddeddrain                 drain\\20150101_drn.r2c",
    ":griddeddsnow                 dsnow\\20150101_dsn.r2c",
    ":griddedrunoff                runof\\20150101_rff.r2c",
    ":griddedrecharge              rchrg\\20150101_rch.r2c",
    ":griddedleakage               lkage\\20150101_lkg.r2c",
    // Lines 105 to 108: the end.
    "#",
    ":noeventstofollow                 00",
    "#",
    "eof",
});

TEST(WriteEvent, FirstEventOfATypicalRunByteForByte) {
  EventFileWriter writer;
  writer.write();
  // The file is complete and closed on return: nothing is left to the end of the run.
  EXPECT_EQ(writer.file(), kTypicalFirstEvent);
  EXPECT_EQ(writer.data.ios, 0);
  EXPECT_EQ(writer.out.str(), "");
  EXPECT_EQ(writer.err.str(), "");
  // Nothing but the event file is left in the event directory.
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(writer.dir / "event")) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"20150101.evt"});
}

// The file goes where fln entry 99 says, whatever the event name.
TEST(WriteEvent, OpensTheNameInEntry99) {
  EventFileWriter writer;
  writer.data.fln[99] = "event\\other.evt";
  writer.write();
  EXPECT_EQ(read_file(writer.dir / "event" / "other.evt"), kTypicalFirstEvent);
  EXPECT_FALSE(std::filesystem::exists(writer.path()));
}

TEST(WriteEvent, ALongerExistingFileIsReplacedWhole) {
  EventFileWriter writer;
  std::string old_content;
  for (int i = 0; i < 300; ++i)
    old_content += "old line " + std::to_string(i) + " of a longer file\n";
  write_file(writer.path(), old_content);
  writer.write();
  EXPECT_EQ(writer.file(), kTypicalFirstEvent);
}

TEST(WriteEvent, TwoCallsWithTheSameDataGiveIdenticalFiles) {
  EventFileWriter writer;
  writer.evtname = "20160229";
  writer.evtlength = 8784;
  writer.data.disaggregation_rate = 12.345F;
  writer.write();
  const std::string first = writer.file();
  writer.write();
  EXPECT_EQ(writer.file(), first);
  EXPECT_EQ(first.size(), kTypicalFirstEvent.size());  // same widths, other values
  EXPECT_NE(first, kTypicalFirstEvent);
}

// One changed value and the line that must carry it (line numbers count from 1).
struct ValueCase {
  std::string what;
  std::function<void(EventFileWriter&)> change;
  std::vector<int> line_numbers;
  std::string expected;
};

TEST(WriteEvent, ValuesInTheirColumns) {
  const auto rate = [](float value) {
    return [value](EventFileWriter& w) { w.data.disaggregation_rate = value; };
  };
  const auto length = [](std::int32_t value) {
    return [value](EventFileWriter& w) { w.evtlength = value; };
  };
  const auto deltat = [](std::int32_t value) {
    return [value](EventFileWriter& w) { w.data.deltat_report = value; };
  };
  const std::vector<ValueCase> cases = {
      // The rate through a real field of 5 columns and 2 decimals.
      {"rate 0", rate(0.0F), {46}, keyword_line(":disaggregate", " 0.00")},
      {"rate 12.345", rate(12.345F), {46}, keyword_line(":disaggregate", "12.35")},
      {"rate 2.5", rate(2.5F), {46}, keyword_line(":disaggregate", " 2.50")},
      {"rate -1.5", rate(-1.5F), {46}, keyword_line(":disaggregate", "-1.50")},
      {"rate 0.5", rate(0.5F), {46}, keyword_line(":disaggregate", " 0.50")},
      {"rate 99.994", rate(99.994F), {46}, keyword_line(":disaggregate", "99.99")},
      // As a float 99.995 is 99.99500274..., above the half: 100.00 needs 6 columns.
      {"rate 99.995", rate(99.995F), {46}, keyword_line(":disaggregate", "*****")},
      {"rate 250", rate(250.0F), {46}, keyword_line(":disaggregate", "*****")},
      // As a float -9.995 is -9.99499988..., below the half: -9.99 still fits.
      {"rate -9.995", rate(-9.995F), {46}, keyword_line(":disaggregate", "-9.99")},
      {"rate -10", rate(-10.0F), {46}, keyword_line(":disaggregate", "*****")},
      // As a float 0.005 is 0.00499999..., which rounds down.
      {"rate 0.005", rate(0.005F), {46}, keyword_line(":disaggregate", " 0.00")},
      // The event length on both hour lines, integer fields of 5 columns.
      {"length 744", length(744), {48, 49}, keyword_line(":hoursraindata", "  744")},
      {"length 672", length(672), {48, 49}, keyword_line(":hoursraindata", "  672")},
      {"length 8784", length(8784), {48, 49}, keyword_line(":hoursraindata", " 8784")},
      {"length 99999", length(99999), {48, 49}, keyword_line(":hoursraindata", "99999")},
      {"length 100000", length(100000), {48, 49}, keyword_line(":hoursraindata", "*****")},
      {"length 123456", length(123456), {48, 49}, keyword_line(":hoursraindata", "*****")},
      // The reporting time step as answered, negative values included.
      {"deltat 0", deltat(0), {50}, keyword_line(":deltat_report", "    0")},
      {"deltat 24", deltat(24), {50}, keyword_line(":deltat_report", "   24")},
      {"deltat -3", deltat(-3), {50}, keyword_line(":deltat_report", "   -3")},
      {"deltat -9999", deltat(-9999), {50}, keyword_line(":deltat_report", "-9999")},
      {"deltat -10000", deltat(-10000), {50}, keyword_line(":deltat_report", "*****")},
      {"deltat 100000", deltat(100000), {50}, keyword_line(":deltat_report", "*****")},
      // Option answers: the one character stored, a blank for an empty answer line.
      {"snwflg Y",
       [](EventFileWriter& w) { w.data.snwflg = "Y"; },
       {9},
       keyword_line(":snwflg", "Y")},
      {"snwflg empty",
       [](EventFileWriter& w) { w.data.snwflg = ""; },
       {9},
       keyword_line(":snwflg", " ")},
      {"iceflg empty",
       [](EventFileWriter& w) { w.data.iceflg = ""; },
       {36},
       keyword_line(":iceflg", " ")},
      // Basin file names: the first 30 characters of the entry, always 60 columns in all.
      {"30-character basin name",
       [](EventFileWriter& w) { w.data.fln[1] = "basin\\abcdefghijklmnop_shd.r2c"; },
       {52},
       ":basinfilename                basin\\abcdefghijklmnop_shd.r2c"},
      {"31-character basin name",
       [](EventFileWriter& w) { w.data.fln[6] = "basin\\abcdefghijklmnopq_shd.wqd"; },
       {57},
       ":waterqualitydatafile         basin\\abcdefghijklmnopq_shd.wq"},
      {"empty basin entry",
       [](EventFileWriter& w) { w.data.fln[3] = ""; },
       {54},
       keyword_line(":channelparfile", std::string(30, ' '))},
      // Date texts are copied as they are, no trimming and no conversion.
      {"year", [](EventFileWriter& w) { w.yy1 = "0999"; }, {4}, keyword_line(":year", "0999")},
      {"month", [](EventFileWriter& w) { w.mm1 = " 2"; }, {5}, keyword_line(":month", " 2")},
      {"day", [](EventFileWriter& w) { w.dd1 = "29"; }, {6}, keyword_line(":day", "29")},
      {"hour", [](EventFileWriter& w) { w.hh1 = "23"; }, {7}, keyword_line(":hour", "23")},
      // The event name inside the data-file references.
      {"event name, point precipitation",
       [](EventFileWriter& w) { w.evtname = "20150601"; },
       {60},
       keyword_line(":pointprecip", "raing\\20150601_rag.tb0")},
      {"event name, radar",
       [](EventFileWriter& w) { w.evtname = "20150601"; },
       {82},
       keyword_line(":radarfile", "raduc\\20150601.rad")},
      {"event name, leakage",
       [](EventFileWriter& w) { w.evtname = "20150601"; },
       {104},
       keyword_line(":griddedleakage", "lkage\\20150601_lkg.r2c")},
  };
  for (const ValueCase& c : cases) {
    EventFileWriter writer;
    c.change(writer);
    const auto written = writer.write_lines();
    ASSERT_EQ(written.size(), 108U) << c.what;
    for (const int number : c.line_numbers) {
      std::string expected = c.expected;
      // Both hour lines carry the same length.
      if (number == 49) expected.replace(0, 14, ":hoursflowdata");
      EXPECT_EQ(written[static_cast<std::size_t>(number - 1)], expected)
          << c.what << ", line " << number;
    }
  }
}

// Each answer goes on the line of its own name, and no other line changes.
TEST(WriteEvent, EachOptionOnItsOwnLine) {
  EventFileWriter writer;
  writer.data.snwflg = "a";
  writer.data.vapflg = "b";
  writer.data.smrflg = "c";
  writer.data.resinflg = "d";
  writer.data.wetflg = "e";
  writer.data.divertflg = "f";
  writer.data.lakeflg = "g";
  writer.data.iceflg = "h";
  auto expected = EventFileWriter::split_lines(kTypicalFirstEvent);
  expected[8] = keyword_line(":snwflg", "a");
  expected[10] = keyword_line(":vapflg", "b");
  expected[11] = keyword_line(":smrflg", "c");
  expected[12] = keyword_line(":resinflg", "d");
  expected[20] = keyword_line(":wetflg", "e");
  expected[31] = keyword_line(":divertflg", "f");
  expected[34] = keyword_line(":lakeflg", "g");
  expected[35] = keyword_line(":iceflg", "h");
  EXPECT_EQ(writer.write_lines(), expected);
}

// Another event: its name replaces 20150101 in every data-file reference and nowhere else.
TEST(WriteEvent, EventNameInEveryDataFileReference) {
  EventFileWriter writer;
  writer.yy1 = "2016";
  writer.mm1 = "02";
  writer.evtname = "20160201";
  writer.evtlength = 696;
  auto expected = EventFileWriter::split_lines(kTypicalFirstEvent);
  expected[3] = keyword_line(":year", "2016");
  expected[4] = keyword_line(":month", "02");
  expected[47] = keyword_line(":hoursraindata", "  696");
  expected[48] = keyword_line(":hoursflowdata", "  696");
  int references = 0;
  for (std::size_t i = 58; i < 104; ++i) {
    if (expected[i].size() > 36) {
      ASSERT_EQ(expected[i].substr(36, 8), "20150101") << "line " << i + 1;
      expected[i].replace(36, 8, "20160201");
      ++references;
    }
  }
  EXPECT_EQ(references, 33);  // 9 point, 7 hydrometric and 17 gridded references
  EXPECT_EQ(writer.write_lines(), expected);
}

// The whole 256-character entry goes on the report.
std::string problem_opening_line(std::string_view path) {
  return " problem opening" + std::string(path) + std::string(256 - path.size(), ' ') +
         "in write_event @ line 15";
}

TEST(WriteEvent, MissingEventDirectoryStopsTheRun) {
  EventFileWriter writer;
  std::filesystem::remove(writer.dir / "event");
  EXPECT_EQ(writer.run(), 1);
  EXPECT_EQ(writer.data.ios, testing::kNoDirectoryError);
  EXPECT_EQ(writer.out.str(),
            lines({
                problem_opening_line("event\\20150101.evt"),
                testing::kOnWindows ? " ios=           3 possible problem: lile is locked"
                                    : " ios=           2 possible problem: lile is locked",
                "program aborted in write_event",
            }));
  EXPECT_EQ(writer.err.str(), "");
  // Nothing created: no directory, no file, no leftover.
  EXPECT_TRUE(std::filesystem::is_empty(writer.dir.path()));
}

TEST(WriteEvent, ADirectoryOfTheSameNameStopsTheRun) {
  EventFileWriter writer;
  std::filesystem::create_directory(writer.path());
  EXPECT_EQ(writer.run(), 1);
  EXPECT_EQ(writer.data.ios, testing::kIsDirectoryError);
  EXPECT_EQ(writer.out.str(),
            lines({
                problem_opening_line("event\\20150101.evt"),
                testing::kOnWindows ? " ios=           5 possible problem: lile is locked"
                                    : " ios=          21 possible problem: lile is locked",
                "program aborted in write_event",
            }));
  EXPECT_EQ(writer.err.str(), "");
  EXPECT_TRUE(std::filesystem::is_directory(writer.path()));
  EXPECT_TRUE(std::filesystem::is_empty(writer.path()));
  // The directory is the only thing in the event directory.
  int entries = 0;
  for ([[maybe_unused]] const auto& entry :
       std::filesystem::directory_iterator(writer.dir / "event")) {
    ++entries;
  }
  EXPECT_EQ(entries, 1);
}

// A write that fails is not a success: the record I/O layer ends the run.
TEST(WriteEvent, AFailedWriteEndsTheRunWithStatus2) {
  if (testing::kOnWindows) GTEST_SKIP() << "a full device is POSIX's /dev/full";
  EventFileWriter writer;
  writer.data.fln[99] = "/dev/full";
  EXPECT_EQ(writer.run(), 2);
  EXPECT_EQ(writer.data.ios, 0);  // the open itself succeeded
  EXPECT_EQ(writer.out.str(), "");
  const std::string report = writer.err.str();
  EXPECT_TRUE(report.starts_with("quorlant: ")) << report;
  EXPECT_NE(report.find("/dev/full"), std::string::npos) << report;
  EXPECT_TRUE(report.ends_with("\n")) << report;
  EXPECT_EQ(report.find('\n'), report.size() - 1) << "one line: " << report;
}

}  // namespace
}  // namespace quorlant::eventfile
