# Writes OUTPUT, the header naming the commit the CLI is built from
# (QF_COMMIT_TEXT, "" when the tree is no git checkout), and rewrites it only
# when the commit changed, so that only what includes it is compiled again.
# A tree with changes not yet committed gets "-modified" after the commit.
# Run at every build: cmake -DSOURCE_DIR=... -DOUTPUT=... -P commit.cmake
execute_process(COMMAND git -C "${SOURCE_DIR}" rev-parse --short=12 HEAD
  OUTPUT_VARIABLE commit RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(failed OR NOT commit MATCHES "^[0-9a-f]+$")
  set(commit "")
else()
  execute_process(COMMAND git -C "${SOURCE_DIR}" diff --quiet HEAD --
    RESULT_VARIABLE modified OUTPUT_QUIET ERROR_QUIET)
  if(modified)
    string(APPEND commit "-modified")
  endif()
endif()
set(text "// Written by cmake/commit.cmake at build time.\n#define QF_COMMIT_TEXT \"${commit}\"\n")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
