# Runs one scenario through tavmgr-console and compares the transcript with the expected one next
# to the scenario (foo.scenario.json, foo.expected.txt). With -DJSON=ON it runs the JSON form
# instead and checks that it parses and reports no failed expectation.
#
# Regenerate the expected transcripts after an intended change:
#   TAV_UPDATE_TRANSCRIPTS=1 ctest --preset dev -R '^console\.'
# (or configure with -DTAV_UPDATE_TRANSCRIPTS=ON).
cmake_minimum_required(VERSION 3.25)

set(args --library "${LIBRARY}")
if(JSON)
  list(APPEND args --json)
endif()
execute_process(COMMAND "${CONSOLE}" ${args} "${SCENARIO}"
  OUTPUT_VARIABLE transcript ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "tavmgr-console exited with ${status}\n${errors}\n${transcript}")
endif()
if(NOT errors STREQUAL "")
  message(FATAL_ERROR "tavmgr-console wrote to stderr:\n${errors}")
endif()

if(JSON)
  string(JSON failed ERROR_VARIABLE parseError GET "${transcript}" failedExpectations)
  if(parseError)
    message(FATAL_ERROR "the --json transcript does not parse: ${parseError}")
  endif()
  string(JSON steps ERROR_VARIABLE parseError LENGTH "${transcript}" steps)
  if(parseError OR NOT failed EQUAL 0)
    message(FATAL_ERROR "unexpected --json transcript: ${parseError} failedExpectations=${failed}")
  endif()
  return()
endif()

if(UPDATE OR "$ENV{TAV_UPDATE_TRANSCRIPTS}")
  file(WRITE "${EXPECTED}" "${transcript}")
  message(STATUS "wrote ${EXPECTED}")
  return()
endif()
if(NOT EXISTS "${EXPECTED}")
  message(FATAL_ERROR "no expected transcript ${EXPECTED}; make it with "
    "TAV_UPDATE_TRANSCRIPTS=1 ctest --preset dev -R '^console\\.'")
endif()
file(READ "${EXPECTED}" expected)
if(NOT transcript STREQUAL expected)
  file(WRITE "${ACTUAL}" "${transcript}")
  execute_process(COMMAND diff -u "${EXPECTED}" "${ACTUAL}" OUTPUT_VARIABLE difference)
  message(FATAL_ERROR "the transcript differs from ${EXPECTED} (actual: ${ACTUAL}):\n${difference}")
endif()
