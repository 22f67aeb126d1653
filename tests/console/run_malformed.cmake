# Runs tavmgr-console on a malformed scenario and requires exit code 2 and a message on stderr
# that matches PATTERN. With -DDEEP_FOLDERS=N it first writes a scenario whose setup nests N
# folders, one in the other, to SCENARIO.
cmake_minimum_required(VERSION 3.25)

if(DEEP_FOLDERS)
  string(REPEAT "{\"name\": \"F\", \"folders\": [" ${DEEP_FOLDERS} open)
  string(REPEAT "]}" ${DEEP_FOLDERS} close)
  file(WRITE "${SCENARIO}"
    "{\"title\": \"Folders nested ${DEEP_FOLDERS} deep\", \"setup\": {\"organisation\": "
    "{\"servers\": [{\"dn\": \"/o=X/cn=S\", \"name\": \"S\"}], \"mailboxes\": [{\"dn\": "
    "\"/o=X/cn=a\", \"server\": \"S\", \"folders\": [${open}{\"name\": \"leaf\"}${close}]}]}}, "
    "\"steps\": [{\"call\": \"Initialize\"}]}\n")
endif()
execute_process(COMMAND "${CONSOLE}" --library "${LIBRARY}" "${SCENARIO}"
  OUTPUT_VARIABLE transcript ERROR_VARIABLE errors RESULT_VARIABLE status TIMEOUT 60)
if(NOT status EQUAL 2)
  message(FATAL_ERROR "tavmgr-console exited with ${status}, not 2\n${errors}")
endif()
if(NOT errors MATCHES "${PATTERN}")
  message(FATAL_ERROR "the message does not match '${PATTERN}':\n${errors}")
endif()
