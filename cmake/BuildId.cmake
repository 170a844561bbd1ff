# Writes the build identifier source: eight hexadecimal digits of the source
# revision (00000000 outside a git checkout). Rewritten only when it changes.
execute_process(COMMAND git rev-parse --short=8 HEAD
                WORKING_DIRECTORY ${SOURCE_DIR}
                OUTPUT_VARIABLE rev OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE rc ERROR_QUIET)
if(NOT rc EQUAL 0 OR rev STREQUAL "")
  set(rev "00000000")
endif()
string(SUBSTRING "${rev}00000000" 0 8 rev)
set(content "// Generated at build time.\n#include \"vm/core/startup/build_id.h\"\nconst char* const tarvelo_port_version = \"3.0.0\";\nconst char* const tarvelo_build_id = \"${rev}\";\n")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
endif()
if(NOT "${old}" STREQUAL "${content}")
  file(WRITE ${OUTPUT} "${content}")
endif()
