# `cmake -DSOURCE_DIR=<src> -P seam_check.cmake` fails when a file of src/ outside src/platform/
# includes a C or system header (<unistd.h>, <windows.h>, <sys/stat.h>, <io.h>...) or compiles
# on a condition (#if, #ifdef): above the seam the code is the same on every system.
file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
set(faults "")
foreach(file IN LISTS files)
  if(file MATCHES "^platform/")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/${file} lines REGEX "^[ \t]*#[ \t]*(if|include[ \t]*<[^>]*\\.h>)")
  foreach(line IN LISTS lines)
    list(APPEND faults "${file}: ${line}")
  endforeach()
endforeach()
if(faults)
  list(JOIN faults "\n" text)
  message(FATAL_ERROR "system headers and #if belong in src/platform/ alone:\n${text}")
endif()
