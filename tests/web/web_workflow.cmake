# The page's browser tests inside the test suite (cmake -DSOURCE=<tree> -P):
# Lumen.html built with Debian's emscripten by the web workflow, then its
# tests in Chromium against the native programs of the test preset. Without
# emscripten, or with a browser test skipped, this prints "SKIPPED: <why>",
# which the test takes for a skip, unless REQUIRE_CHROMIUM=1 (CI) makes it a
# failure.
function(skip reason)
  if("$ENV{REQUIRE_CHROMIUM}" STREQUAL "1")
    message(FATAL_ERROR "FAILED (REQUIRE_CHROMIUM=1): ${reason}")
  endif()
  message("SKIPPED: ${reason}")
endfunction()

find_program(EMXX em++)
if(NOT EMXX)
  skip("emscripten is not installed (Debian package emscripten)")
  return()
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --workflow --preset web
                WORKING_DIRECTORY ${SOURCE}
                OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE result)
message("${output}")
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --workflow --preset web failed")
endif()
# A browser test that skipped says why in the web build's test log.
if(output MATCHES "\\(Skipped\\)")
  file(READ ${SOURCE}/build-web/Testing/Temporary/LastTest.log log)
  string(REGEX MATCH "SKIPPED: [^\n]*" why "${log}")
  string(REPLACE "SKIPPED: " "" why "${why}")
  skip("a browser test skipped: ${why}")
endif()
