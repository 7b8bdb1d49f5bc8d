# Runs `vellmark log` once and compares its exit status and output with the
# expected ones.  -D TOOL, ARGS (a ;-list), EXIT, STDOUT (a file, or empty for
# no output), STDERR (a regular expression, or empty).
string(REPLACE "," ";" ARGS "${ARGS}")
execute_process(COMMAND ${TOOL} log ${ARGS}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL EXIT)
  message(FATAL_ERROR "exit status ${status}, expected ${EXIT}\nstderr: ${err}")
endif()
set(expected "")
if(STDOUT)
  file(READ ${STDOUT} expected)
endif()
if(NOT out STREQUAL expected)
  message(FATAL_ERROR "stdout differs.\n--- got:\n${out}--- expected:\n${expected}")
endif()
if(STDERR AND NOT err MATCHES "${STDERR}")
  message(FATAL_ERROR "stderr '${err}' does not match '${STDERR}'")
endif()
