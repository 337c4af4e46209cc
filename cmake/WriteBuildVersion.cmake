# Run as a script: writes OUTPUT, the source of BuildVersion(), when its text differs from
# the file's. Inputs: SOURCE_DIR, VERSION, OUTPUT.
set(text "${VERSION}")
find_program(GIT_PROGRAM git)
if(GIT_PROGRAM)
  execute_process(COMMAND ${GIT_PROGRAM} rev-parse --show-toplevel
    WORKING_DIRECTORY ${SOURCE_DIR}
    OUTPUT_VARIABLE top RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  # A source tree unpacked inside some other checkout must not take that one's revision.
  if(NOT failed)
    file(REAL_PATH "${top}" top)
    file(REAL_PATH "${SOURCE_DIR}" source)
  endif()
  if(NOT failed AND top STREQUAL source)
    execute_process(COMMAND ${GIT_PROGRAM} describe --always --dirty
      WORKING_DIRECTORY ${SOURCE_DIR}
      OUTPUT_VARIABLE revision RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE
      ERROR_QUIET)
    if(NOT failed AND NOT revision STREQUAL "")
      string(APPEND text " (${revision})")
    endif()
  endif()
endif()

string(REPLACE "\\" "\\\\" text "${text}")
string(REPLACE "\"" "\\\"" text "${text}")
set(content "// Written by the build from the project version and the git revision.
#include \"BuildVersion.h\"

namespace zelmo {

std::string BuildVersion() {
    return \"${text}\";
}

}  // namespace zelmo
")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL content)
  file(WRITE "${OUTPUT}" "${content}")
endif()
