# The test workflow's last step (cmake -DLOG=<LastTest.log> -P): which tests
# the run just made skipped, and why. A skipped test passes and says why only
# in its own output, which CTest shows with -V alone; here each one gets a
# line "<test>: <reason>" from the log of that run. It never fails the run.
if(NOT EXISTS "${LOG}")
  message("No test log at ${LOG}: run the tests first.")
  return()
endif()
file(READ "${LOG}" text)
# Lines as a list: semicolons and brackets would split or join elements.
string(REPLACE ";" "<semicolon>" text "${text}")
string(REPLACE "[" "<open>" text "${text}")
string(REPLACE "]" "<close>" text "${text}")
string(REPLACE "\n" ";" lines "${text}")

set(test "")
set(skips "")
set(skipped_here FALSE)  # the line before was GoogleTest's "<file>:<line>: Skipped"
foreach(line IN LISTS lines)
  if(skipped_here)
    list(APPEND skips "${test}: ${line}")
    set(skipped_here FALSE)
  elseif(line MATCHES "^<open> RUN      <close> (.*)$")
    set(test "${CMAKE_MATCH_1}")
  elseif(line MATCHES ": Skipped$")
    set(skipped_here TRUE)
  elseif(line MATCHES "^[0-9]+/[0-9]+ Testing: (.*)$")
    # A test that is no GoogleTest names itself in CTest's own header.
    set(test "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^SKIPPED: (.*)$")
    # Such a test, skipped whole, says why on a line of its own.
    list(APPEND skips "${test}: ${CMAKE_MATCH_1}")
  elseif(line MATCHES "^skipped: (.*)$")
    # A test that leaves out one case prints this and still passes.
    list(APPEND skips "${test} (in part): ${CMAKE_MATCH_1}")
  endif()
endforeach()
list(REMOVE_DUPLICATES skips)

list(LENGTH skips count)
if(count EQUAL 0)
  message("Skipped tests: none.")
  return()
endif()
set(report "Skipped tests, and why (a missing tool: doc/testing.md):")
foreach(skip IN LISTS skips)
  string(APPEND report "\n  ${skip}")
endforeach()
string(REPLACE "<semicolon>" ";" report "${report}")
string(REPLACE "<open>" "[" report "${report}")
string(REPLACE "<close>" "]" report "${report}")
message("${report}")
