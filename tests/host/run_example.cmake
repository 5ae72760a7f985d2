# Runs the built program with the README's arguments in a fresh directory and checks
# the example's preview page: exit code 0, a non-empty vertex array and the listing.
# cmake -DVORDASH=<program> -DEXAMPLES=<repo>/examples -DWORK=<directory> -P run_example.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(
  COMMAND ${VORDASH} nif=html searchpath=${EXAMPLES}/ file=flange.jyx
  WORKING_DIRECTORY ${WORK}
  RESULT_VARIABLE code
  ERROR_VARIABLE err)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "vordash exited with ${code}:\n${err}")
endif()
set(page ${WORK}/flange.jyx.html)
if(NOT EXISTS ${page})
  message(FATAL_ERROR "no page ${page}")
endif()
file(READ ${page} html)
# The first vertex line: three numbers.
if(NOT html MATCHES "\t\t-?[0-9.e+-]+,  -?[0-9.e+-]+,  -?[0-9.e+-]+,\n")
  message(FATAL_ERROR "the page holds no vertex")
endif()
string(FIND "${html}" "bolt&nbsp;circle" listed)
if(listed EQUAL -1)
  message(FATAL_ERROR "the page does not list the example")
endif()
