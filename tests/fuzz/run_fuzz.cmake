# Runs a fuzz target for a bounded time from its seed corpus. New inputs go to a fresh
# directory in the build tree; the seed corpus in the source tree is only read.
#   -D FUZZER=<target> -D SEEDS=<dir> -D DICT=<file> -D WORK=<dir> -D SECONDS=<n>
# KIV_FUZZ_SECONDS in the environment overrides SECONDS (tools/test-all.sh uses a shorter run).
if(DEFINED ENV{KIV_FUZZ_SECONDS})
  set(SECONDS $ENV{KIV_FUZZ_SECONDS})
endif()
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/new ${WORK}/artifacts)
execute_process(
  COMMAND ${FUZZER} ${WORK}/new ${SEEDS} -dict=${DICT} -max_total_time=${SECONDS}
          -close_fd_mask=1
          -artifact_prefix=${WORK}/artifacts/ -print_final_stats=1
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${result}); crashing inputs are in ${WORK}/artifacts")
endif()
