# Runs the counting bench when its binary differs from the one last run, into a fresh
# profile folder (counts from two runs would add up).
#   cmake -DBENCH=... -DPROFILE=... -DSTAMP=... -P pgo-train.cmake
file(SHA256 ${BENCH} binary)
if(EXISTS ${STAMP})
  file(READ ${STAMP} trained)
  if(trained STREQUAL binary AND IS_DIRECTORY ${PROFILE})
    return()
  endif()
endif()
file(REMOVE_RECURSE ${PROFILE})
message(STATUS "Training run for profile-guided optimisation: ${BENCH}")
execute_process(COMMAND ${BENCH} RESULT_VARIABLE result OUTPUT_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "The training bench failed (${result}):\n${output}")
endif()
file(WRITE ${STAMP} ${binary})
