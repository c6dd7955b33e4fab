#include "eventfile/event_file_layout.h"

#include <string>
#include <string_view>

namespace quorlant::eventfile {

namespace {

using shared::RunData;

// A keyword fills columns 1 to 30, blank-padded; its value starts in column 31.
constexpr std::size_t kKeywordColumns = 30;
// A keyword line without a value is the keyword blank-padded to 36 characters.
constexpr std::size_t kNoValueLength = 36;

// The views of the table point into string literals, so they stay valid for the whole run.
EventFileLine text(std::string_view whole_line) {
  return {.text = std::string(whole_line), .keyword = whole_line};
}

// A keyword whose value never changes; `value` carries its own trailing blanks.
EventFileLine fixed(std::string_view keyword, std::string_view value) {
  return {.text = recordio::padded(keyword, kKeywordColumns).append(value), .keyword = keyword};
}

EventFileLine no_value(std::string_view keyword) {
  return {.text = recordio::padded(keyword, kNoValueLength), .keyword = keyword};
}

// A keyword and the value of the run it carries.
EventFileLine keyed(std::string_view keyword, LineValue value) {
  return {.text = recordio::padded(keyword, kKeywordColumns), .value = value, .keyword = keyword};
}

EventFileLine option(std::string_view keyword, recordio::FixedText<1> RunData::*answer) {
  EventFileLine line = keyed(keyword, LineValue::kOption);
  line.option = answer;
  return line;
}

// Always 60 characters: the first 30 of the entry's 256 fill columns 31 to 60.
EventFileLine basin_file(std::string_view keyword, int entry) {
  EventFileLine line = keyed(keyword, LineValue::kBasinFile);
  line.fln_entry = entry;
  return line;
}

// Directory (6 characters with its backslash), event name (8), ending (8, or 4 on radar lines).
EventFileLine data_file(std::string_view keyword, std::string_view directory,
                        std::string_view ending) {
  return {.text = recordio::padded(keyword, kKeywordColumns).append(directory),
          .value = LineValue::kEventName,
          .keyword = keyword,
          .directory = directory,
          .ending = ending};
}

const char* const kNo = "n    ";  // a fixed flag: "n" in column 31, then four blanks
const char* const kSeparator = "#";

std::vector<EventFileLine> build_layout() {
  return {
      text(kSeparator),
      fixed(":filetype", ".evt "),
      fixed(":fileversionno", std::string(kFileVersion) + "  "),
      keyed(":year", LineValue::kYear),
      keyed(":month", LineValue::kMonth),
      keyed(":day", LineValue::kDay),
      keyed(":hour", LineValue::kHour),
      text(kSeparator),
      option(":snwflg", &RunData::snwflg),
      fixed(":sedflg", kNo),
      option(":vapflg", &RunData::vapflg),
      option(":smrflg", &RunData::smrflg),
      option(":resinflg", &RunData::resinflg),
      fixed(":tbcflg", kNo),
      fixed(":resumflg", kNo),
      fixed(":contflg", kNo),
      fixed(":routeflg", kNo),
      fixed(":crseflg", kNo),
      fixed(":kenueflg", kNo),
      fixed(":picflg", kNo),
      option(":wetflg", &RunData::wetflg),
      fixed(":modelflg", kNo),
      fixed(":shdflg", kNo),
      fixed(":trcflg", kNo),
      fixed(":frcflg", kNo),
      fixed(":initflg", kNo),
      fixed(":hdrflg", kNo),
      fixed(":grdflg", kNo),
      fixed(":ntrlflg", kNo),
      fixed(":nudgeflg", kNo),
      fixed(":resetflg", kNo),
      option(":divertflg", &RunData::divertflg),
      fixed(":pafflg", kNo),
      fixed(":fliflg", kNo),
      option(":lakeflg", &RunData::lakeflg),
      option(":iceflg", &RunData::iceflg),
      text(kSeparator),
      fixed(":intsoilmoisture", "0.25 0.25 0.25 0.25 0.25"),
      // The scale factors stand in columns 32 to 35.
      fixed(":rainconvfactor", " 1.00"),
      fixed(":eventprecipscalefactor", " 1.00"),
      fixed(":precipscalefactor", " 0.00"),
      fixed(":eventsnowscalefactor", " 0.00"),
      fixed(":snowscalefactor", " 0.00"),
      fixed(":eventtempscalefactor", " 0.00"),
      fixed(":tempscalefactor", " 0.00"),
      keyed(":disaggregate", LineValue::kRate),
      text(kSeparator),
      keyed(":hoursraindata", LineValue::kLength),
      keyed(":hoursflowdata", LineValue::kLength),
      keyed(":deltat_report", LineValue::kDeltatReport),
      text(kSeparator),
      basin_file(":basinfilename", 1),
      basin_file(":parfilename", 2),
      basin_file(":channelparfile", 3),
      basin_file(":pointdatalocations", 4),
      basin_file(":snowcoverdepletioncurve", 5),
      basin_file(":waterqualitydatafile", 6),
      text("# station climate data"),
      data_file(":pointsoilmoisture", "moist\\", "_psm.pt2"),
      data_file(":pointprecip", "raing\\", "_rag.tb0"),
      data_file(":pointtemps", "tempg\\", "_tag.tb0"),
      no_value(":pointnetradiation"),
      data_file(":pointhumidity", "humid\\", "_hum.tb0"),
      data_file(":pointwindspd", "winds\\", "_spd.tb0"),
      data_file(":pointwinddir", "winds\\", "_dir.tb0"),
      no_value(":pointlongwave"),
      no_value(":pointshortwave"),
      no_value(":pointatmpressure"),
      data_file(":pointsnow", "snowg\\", "_snw.tb0"),
      data_file(":pointdrain", "drain\\", "_drn.tb0"),
      data_file(":pointdsnow", "dsnow\\", "_dsn.tb0"),
      text("# hydrometric station data"),
      data_file(":streamflowdatafile", "strfw\\", "_str.tb0"),
      data_file(":reservoirreleasefile", "resrl\\", "_rel.tb0"),
      data_file(":reservoirinflowfile", "resrl\\", "_rin.tb0"),
      data_file(":diversionflowfile", "diver\\", "_div.tb0"),
      data_file(":snowcoursefile", "snow1\\", "_crs.pt2"),
      data_file(":initlakelevel", "level\\", "_ill.pt2"),
      data_file(":observedlakelevel", "level\\", "_lvl.tb0"),
      text(""),  // the one empty line: no character at all
      text("# gridded data"),
      data_file(":radarfile", "raduc\\", ".rad"),
      data_file(":rawradarfile", "radar\\", ".scn"),
      data_file(":clutterfile", "radar\\", ".clt"),
      data_file(":griddedinitsnowweq", "snow1\\", "_swe.r2c"),
      data_file(":griddedinitsoilmoisture", "moist\\", "_gsm.r2c"),
      no_value(":griddedinitlzs"),
      data_file(":griddedrainfile", "radcl\\", "_met.r2c"),
      no_value(":griddedsnowfile"),
      data_file(":griddedtemperaturefile", "tempr\\", "_tem.r2c"),
      data_file(":griddeddailydifference", "tempr\\", "_dif.r2c"),
      no_value(":griddednetradiation"),
      data_file(":griddedhumidity", "humid\\", "_hum.r2c"),
      data_file(":griddedwindspd", "winds\\", "_spd.r2c"),
      data_file(":griddedwinddir", "winds\\", "_dir.r2c"),
      no_value(":griddedlongwave"),
      no_value(":griddedshortwave"),
      no_value(":griddedatmpressure"),
      data_file(":griddedsnow", "snowg\\", "_snw.r2c"),
      data_file(":griddeddrain", "drain\\", "_drn.r2c"),
      data_file(":griddeddsnow", "dsnow\\", "_dsn.r2c"),
      data_file(":griddedrunoff", "runof\\", "_rff.r2c"),
      data_file(":griddedrecharge", "rchrg\\", "_rch.r2c"),
      data_file(":griddedleakage", "lkage\\", "_lkg.r2c"),
      text(kSeparator),
      fixed(":noeventstofollow", "    00"),  // "00" in columns 35 and 36
      text(kSeparator),
      text("eof"),
  };
}

}  // namespace

const std::vector<EventFileLine>& event_file_layout() {
  static const std::vector<EventFileLine> layout = build_layout();
  return layout;
}

}  // namespace quorlant::eventfile
