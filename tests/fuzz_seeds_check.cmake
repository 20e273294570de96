# The committed fuzz seeds are what make_fuzz_seeds writes: run it into an
# empty folder, then every file it wrote must equal the committed one, and the
# committed folder may hold no other file but the seeds made by hand below.
# Usage: cmake -DGENERATOR=<make_fuzz_seeds> -DOUT=<folder> -DSEEDS=<fuzz/seeds> -P this file
cmake_minimum_required(VERSION 3.20)

set(made_by_hand
  encoder/early-stop encoder/near-period encoder/period-3 encoder/random encoder/runs
  encoder/small-window encoder/two-values
  manifest/direct-family manifest/dither manifest/image-colours
  manifest/indexed-transparent manifest/raw-and-dates)

file(REMOVE_RECURSE "${OUT}")
execute_process(COMMAND "${GENERATOR}" "${OUT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "make_fuzz_seeds failed: ${status}")
endif()
file(GLOB_RECURSE generated LIST_DIRECTORIES false RELATIVE "${OUT}" "${OUT}/*")
file(GLOB_RECURSE committed LIST_DIRECTORIES false RELATIVE "${SEEDS}" "${SEEDS}/*")
list(LENGTH generated count)
if(count EQUAL 0)
  message(FATAL_ERROR "make_fuzz_seeds wrote nothing under ${OUT}")
endif()
set(faults "")
foreach(seed IN LISTS generated)
  if(NOT seed IN_LIST committed)
    string(APPEND faults "\n  not committed: ${seed}")
  else()
    execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${OUT}/${seed}" "${SEEDS}/${seed}"
                    RESULT_VARIABLE differ)
    if(NOT differ EQUAL 0)
      string(APPEND faults "\n  differs from the committed file: ${seed}")
    endif()
  endif()
endforeach()
foreach(seed IN LISTS committed)
  if(NOT seed IN_LIST generated AND NOT seed IN_LIST made_by_hand)
    string(APPEND faults "\n  committed but not written: ${seed}")
  endif()
endforeach()
foreach(seed IN LISTS made_by_hand)
  if(NOT seed IN_LIST committed)
    string(APPEND faults "\n  seed made by hand is missing: ${seed}")
  endif()
endforeach()
if(NOT faults STREQUAL "")
  message(FATAL_ERROR "fuzz/seeds is not what make_fuzz_seeds writes:${faults}")
endif()
list(LENGTH committed total)
message(STATUS "${count} generated seeds match; ${total} committed")
