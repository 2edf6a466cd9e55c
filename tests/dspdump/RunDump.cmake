# Runs dspdump with ARGS (a ;-list) in the source tree and compares what it
# prints, on both streams, and its exit status with the golden file GOLDEN.
# With UPDATE=1 the golden file is written instead.
# STDIN, when set, names the file standard input reads.
set(input_file /dev/null)
if(STDIN)
  set(input_file ${STDIN})
endif()
execute_process(COMMAND ${DSPDUMP} ${ARGS}
                WORKING_DIRECTORY ${SOURCE_DIR} INPUT_FILE ${input_file}
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
set(actual "${out}--- stderr ---\n${err}--- exit ${rc} ---\n")
# Files the tests write live in the build tree, which differs per checkout.
string(REPLACE "${BINARY_DIR}" "<build>" actual "${actual}")
if(UPDATE)
  file(WRITE ${GOLDEN} "${actual}")
  return()
endif()
if(NOT EXISTS ${GOLDEN})
  message(FATAL_ERROR "no golden file ${GOLDEN}; run with -DUPDATE=1 to make it")
endif()
file(READ ${GOLDEN} expected)
if(NOT actual STREQUAL expected)
  file(WRITE ${GOLDEN}.actual "${actual}")
  message(FATAL_ERROR "dspdump ${ARGS}: output differs from ${GOLDEN}\n"
                      "(written to ${GOLDEN}.actual)\n${actual}")
endif()
