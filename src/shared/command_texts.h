#pragma once

#include <string_view>

// How the program is called and what its exit statuses mean: quorlant --help, quorlant check
// --help and the check's usage errors each show these texts.
namespace quorlant::shared {

/// The check command as it is typed after "quorlant ".
inline constexpr std::string_view kCheckCommand =
    "check [--chart | --json] [--html FILE] [--need KEYWORD[,KEYWORD...]] [EVENT_FILE...]";

/// What the check does, with its statuses in brief, among the commands quorlant --help lists.
inline constexpr std::string_view kCheckSummary =
    "                          report which data files the event files of a series\n"
    "                          (event\\events_to_follow.txt, or the files named) name\n"
    "                          are there, and the gaps; writes nothing but an --html\n"
    "                          page (status 0: no gap, 1: gaps, 2: cannot check;\n"
    "                          --need: the kinds a missing file of is a gap; see\n"
    "                          check --help)\n";

/// What the statuses of a run mean.
inline constexpr std::string_view kRunExitStatus =
    "Exit status: 0 after \"Normal ending\"; 1 when the program aborts the run or rejects an\n"
    "answer; 2 when an answer is not a number of the required kind, the input ends, a file\n"
    "cannot be opened, written or closed, an option cannot be used, or --strict refuses an\n"
    "answer.\n";

/// What the statuses of a check mean.
inline constexpr std::string_view kCheckExitStatus =
    "Exit status: 0 no gap; 1 gaps, or none of the data files the events name exists; 2 the\n"
    "check is incomplete or cannot be made (no list, no event folder, a file that is not an\n"
    "event file or could not be looked at), each failure in one line on standard error.\n";

}  // namespace quorlant::shared
