# A benchmark given a missing or an empty program must stop with a message and a failure
# status, never measure nothing. Run by CTest (bench_input_missing).
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(WRITE ${WORK}/empty.gcode "")
foreach(input missing.gcode empty.gcode)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env MVX_BENCH_GCODE=${WORK}/${input} ${BENCH}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
  if(rc EQUAL 0)
    message(FATAL_ERROR "${BENCH} ran on ${input}:\n${out}${err}")
  endif()
  if(NOT err MATCHES "bench: input .*${input} is (missing|empty)")
    message(FATAL_ERROR "no message about ${input}:\n${err}")
  endif()
endforeach()
