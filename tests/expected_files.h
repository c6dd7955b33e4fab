#pragma once

// Whole files as the program must write them, written out by hand: an event file, its 108
// lines with every trailing blank, for given dates and answers; and the records of temp3.fls.

#include <string>
#include <string_view>
#include <vector>

#include "test_support.h"

namespace quorlant::testing::evt {

inline std::string padded(const std::string& text, std::size_t width) {
  std::string result = text;
  result.resize(width, ' ');
  return result;
}

struct Answers {
  std::string snw = "y", vap = "n", smr = "n", resin = "n", wet = "n", divert = "n", lake = "n",
              ice = "n";
  std::string rate = " 0.00";    // as written in columns 31-35
  std::string deltat = "    1";  // as written in columns 31-35
  std::string basin = "gr10k";   // the basin part of the basin file names
};

struct Event {
  std::string yy, mm, dd, hh, name, hours;  // hours as written in columns 31-35
};

inline std::string kw(const std::string& keyword) {
  return padded(keyword, 30);
}

// One event file: lines 1-8 the start, 9-36 the option answers and fixed flags, 37-51 the
// factors, rate, lengths and reporting step, 52-57 the basin files (30 columns each), 58-80
// point and hydrometric data, 81-104 gridded data, 105-108 the end.
inline std::string event_file(const Event& e, const Answers& a = {}) {
  const std::string n = "n    ";
  const auto basin = [&](const std::string& keyword, const std::string& ending) {
    return kw(keyword) + padded("basin\\" + a.basin + ending, 30);
  };
  const auto ref = [&](const std::string& keyword, const std::string& dir,
                       const std::string& ending) { return kw(keyword) + dir + e.name + ending; };
  const auto none = [](const std::string& keyword) { return padded(keyword, 36); };
  return lines({
      "#",
      kw(":filetype") + ".evt ",
      kw(":fileversionno") + "9.9  ",
      kw(":year") + e.yy,
      kw(":month") + e.mm,
      kw(":day") + e.dd,
      kw(":hour") + e.hh,
      "#",
      kw(":snwflg") + a.snw,
      kw(":sedflg") + n,
      kw(":vapflg") + a.vap,
      kw(":smrflg") + a.smr,
      kw(":resinflg") + a.resin,
      kw(":tbcflg") + n,
      kw(":resumflg") + n,
      kw(":contflg") + n,
      kw(":routeflg") + n,
      kw(":crseflg") + n,
      kw(":kenueflg") + n,
      kw(":picflg") + n,
      kw(":wetflg") + a.wet,
      kw(":modelflg") + n,
      kw(":shdflg") + n,
      kw(":trcflg") + n,
      kw(":frcflg") + n,
      kw(":initflg") + n,
      kw(":hdrflg") + n,
      kw(":grdflg") + n,
      kw(":ntrlflg") + n,
      kw(":nudgeflg") + n,
      kw(":resetflg") + n,
      kw(":divertflg") + a.divert,
      kw(":pafflg") + n,
      kw(":fliflg") + n,
      kw(":lakeflg") + a.lake,
      kw(":iceflg") + a.ice,
      "#",
      kw(":intsoilmoisture") + "0.25 0.25 0.25 0.25 0.25",
      kw(":rainconvfactor") + " 1.00",
      kw(":eventprecipscalefactor") + " 1.00",
      kw(":precipscalefactor") + " 0.00",
      kw(":eventsnowscalefactor") + " 0.00",
      kw(":snowscalefactor") + " 0.00",
      kw(":eventtempscalefactor") + " 0.00",
      kw(":tempscalefactor") + " 0.00",
      kw(":disaggregate") + a.rate,
      "#",
      kw(":hoursraindata") + e.hours,
      kw(":hoursflowdata") + e.hours,
      kw(":deltat_report") + a.deltat,
      "#",
      basin(":basinfilename", "_shd.r2c"),
      basin(":parfilename", "_par.csv"),
      basin(":channelparfile", "_ch_par.r2c"),
      basin(":pointdatalocations", ".pdl"),
      basin(":snowcoverdepletioncurve", ".sdc"),
      basin(":waterqualitydatafile", ".wqd"),
      "# station climate data",
      ref(":pointsoilmoisture", "moist\\", "_psm.pt2"),
      ref(":pointprecip", "raing\\", "_rag.tb0"),
      ref(":pointtemps", "tempg\\", "_tag.tb0"),
      none(":pointnetradiation"),
      ref(":pointhumidity", "humid\\", "_hum.tb0"),
      ref(":pointwindspd", "winds\\", "_spd.tb0"),
      ref(":pointwinddir", "winds\\", "_dir.tb0"),
      none(":pointlongwave"),
      none(":pointshortwave"),
      none(":pointatmpressure"),
      ref(":pointsnow", "snowg\\", "_snw.tb0"),
      ref(":pointdrain", "drain\\", "_drn.tb0"),
      ref(":pointdsnow", "dsnow\\", "_dsn.tb0"),
      "# hydrometric station data",
      ref(":streamflowdatafile", "strfw\\", "_str.tb0"),
      ref(":reservoirreleasefile", "resrl\\", "_rel.tb0"),
      ref(":reservoirinflowfile", "resrl\\", "_rin.tb0"),
      ref(":diversionflowfile", "diver\\", "_div.tb0"),
      ref(":snowcoursefile", "snow1\\", "_crs.pt2"),
      ref(":initlakelevel", "level\\", "_ill.pt2"),
      ref(":observedlakelevel", "level\\", "_lvl.tb0"),
      "",
      "# gridded data",
      ref(":radarfile", "raduc\\", ".rad"),
      ref(":rawradarfile", "radar\\", ".scn"),
      ref(":clutterfile", "radar\\", ".clt"),
      ref(":griddedinitsnowweq", "snow1\\", "_swe.r2c"),
      ref(":griddedinitsoilmoisture", "moist\\", "_gsm.r2c"),
      none(":griddedinitlzs"),
      ref(":griddedrainfile", "radcl\\", "_met.r2c"),
      none(":griddedsnowfile"),
      ref(":griddedtemperaturefile", "tempr\\", "_tem.r2c"),
      ref(":griddeddailydifference", "tempr\\", "_dif.r2c"),
      none(":griddednetradiation"),
      ref(":griddedhumidity", "humid\\", "_hum.r2c"),
      ref(":griddedwindspd", "winds\\", "_spd.r2c"),
      ref(":griddedwinddir", "winds\\", "_dir.r2c"),
      none(":griddedlongwave"),
      none(":griddedshortwave"),
      none(":griddedatmpressure"),
      ref(":griddedsnow", "snowg\\", "_snw.r2c"),
      ref(":griddeddrain", "drain\\", "_drn.r2c"),
      ref(":griddeddsnow", "dsnow\\", "_dsn.r2c"),
      ref(":griddedrunoff", "runof\\", "_rff.r2c"),
      ref(":griddedrecharge", "rchrg\\", "_rch.r2c"),
      ref(":griddedleakage", "lkage\\", "_lkg.r2c"),
      "#",
      kw(":noeventstofollow") + "    00",
      "#",
      "eof",
  });
}

// The 24 records of temp3.fls after the event `evt` for the basin part `name`: the basin records
// with their 11-column endings.
inline std::vector<std::string> temp3_records(const std::string& name, const std::string& evt) {
  const std::string basin = "basin\\" + name;
  return {
      basin + "_shd.r2c   ",        basin + "_par.csv   ",        basin + "_ch_par.r2c",
      basin + ".pdl       ",        basin + ".sdc       ",        basin + ".wqd       ",
      basin + "_diff.r2c  ",        "raing\\" + evt + ".rag",     "strfw\\" + evt + ".str",
      "resrl\\" + evt + ".rel",     "snow1\\" + evt + "_crs.pt2", "raduc\\" + evt + ".rad",
      "radcl\\" + evt + "_met.r2c", "radar\\" + evt + ".scn",     "raduc\\" + evt + ".clt",
      basin + std::string(11, ' '), "tempr\\" + evt + ".tag",     "tempr\\" + evt + "_tem.r2c",
      "strfw\\" + evt + ".gwt",     "tempr\\" + evt + ".tmx",     "snowg\\" + evt + ".dsn",
      std::string(16, ' '),         "event\\event.evt",           "event\\" + evt + ".evt",
  };
}

/// One line of events_to_follow.txt: a blank and the path padded to 72 characters.
inline std::string follow_line(std::string_view path) {
  return " " + std::string(path) + std::string(72 - path.size(), ' ') + "\n";
}

/// A "... created" line: a blank, the path padded to 60 characters, then the words.
inline std::string created_line(std::string_view path) {
  return " " + std::string(path) + std::string(60 - path.size(), ' ') + "... created\n";
}

/// The report of an event file that cannot be opened: the whole 256-character path entry, then
/// the status code, then the stop.
inline std::string open_failure_report(const std::string& path, int error_number) {
  const std::string code = std::to_string(error_number);
  return " problem opening" + path + std::string(256 - path.size(), ' ') +
         "in write_event @ line 15\n" + " ios=" + std::string(12 - code.size(), ' ') + code +
         " possible problem: lile is locked\n" + "program aborted in write_event\n";
}

}  // namespace quorlant::testing::evt
