# A wide build of the tile loop (pattern_kernel_avx2, pattern_kernel_avx512:
# the only objects compiled with -mavx2 or -mavx512f) may define no symbol
# outside its own namespace but its entry point: an inline function it
# shared with the rest of the program could be the copy the linker keeps,
# and would then run wide instructions on processors without them.
#   cmake -DNM=<nm> -DWIDTH=<avx2|avx512> -DENTRY=<Avx2|Avx512>
#         -DOBJECTS=<object|object|...> -P kernel_symbols.cmake
string(REPLACE "|" ";" objects "${OBJECTS}")
set(object "")
foreach(o ${objects})
  if(o MATCHES "pattern_kernel_${WIDTH}\\.")
    set(object "${o}")
  endif()
endforeach()
if(NOT object)
  message(FATAL_ERROR "no ${WIDTH} object among: ${OBJECTS}")
endif()
execute_process(COMMAND ${NM} -C --defined-only -g "${object}"
  OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${NM} failed on ${object}")
endif()
string(REPLACE "\n" ";" lines "${symbols}")
set(entry FALSE)
set(strays "")
foreach(line ${lines})
  if(line MATCHES "qf::${WIDTH}::")
    continue()
  elseif(line MATCHES "qf::renderTileRows${ENTRY}\\(")
    set(entry TRUE)
  elseif(line MATCHES "^[0-9a-fA-F]+ [A-Za-z] ")
    string(APPEND strays "\n  ${line}")
  endif()
endforeach()
if(NOT entry)
  message(FATAL_ERROR "${object} does not define qf::renderTileRows${ENTRY}")
endif()
if(strays)
  message(FATAL_ERROR "${object} defines symbols outside qf::${WIDTH}:${strays}")
endif()
message(STATUS "${WIDTH} object keeps to its namespace")
