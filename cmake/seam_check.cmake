# `cmake -DSOURCE_DIR=<src> -P seam_check.cmake` fails when a file of src/ outside src/platform/
# reaches the system or another layer past the build's guard:
# - a C or system header (<unistd.h>, <windows.h>, <sys/stat.h>, <io.h>...) or <cerrno>;
# - a build on a condition (#if, #ifdef): above the seam the code is the same on every system;
# - `errno`, or a library call that asks the system itself (the current directory, a real path,
#   the environment);
# - an include that climbs out of its folder ("../"): a quoted include looks in the file's own
#   folder first, so it would reach a layer above past the include directories.
file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
set(refused
    "^[ \t]*#[ \t]*if"
    "^[ \t]*#[ \t]*include[ \t]*<[^>]*\\.h>"
    "^[ \t]*#[ \t]*include[ \t]*<cerrno>"
    "^[ \t]*#[ \t]*include[ \t]*\"\\.\\./"
    "^[^/]*[^a-z_/]errno[^a-z_]"
    "^[^/]*[^a-z_/](absolute|current_path|canonical|weakly_canonical|getenv)[ \t]*\\(")
list(JOIN refused "|" pattern)
set(faults "")
foreach(file IN LISTS files)
  if(file MATCHES "^platform/")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/${file} lines REGEX "${pattern}")
  foreach(line IN LISTS lines)
    list(APPEND faults "${file}: ${line}")
  endforeach()
endforeach()
if(faults)
  list(JOIN faults "\n" text)
  message(FATAL_ERROR "the system is reached in src/platform/ alone, and each layer through its "
                      "include directories:\n${text}")
endif()
