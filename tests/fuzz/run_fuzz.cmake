# Runs the fuzz target for RUNS inputs over the seeds (CTest test fuzz_translator). Findings are
# kept in WORK/findings; a finding fails the test.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/findings)
execute_process(
  COMMAND ${FUZZER} -runs=${RUNS} -seed=1 -max_len=4096 -timeout=10 -rss_limit_mb=2048
          -artifact_prefix=${WORK}/findings/ -print_final_stats=1
          ${WORK}/corpus ${SEEDS} ${SAMPLES}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the fuzz target found a fault (status ${rc}); its input is in ${WORK}/findings")
endif()
