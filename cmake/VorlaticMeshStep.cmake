# One step of vorlatic_add_meshes where no POSIX shell is at hand (Windows): runs TOOL on SOURCE
# and OUTPUT (after OUTPUT_OPTION, if given) with OPTIONS, its console to LOG (or nowhere), and
# removes OUTPUT if it fails.
if(LOG)
  set(console OUTPUT_FILE "${LOG}")
else()
  set(console OUTPUT_QUIET)
endif()
execute_process(COMMAND "${TOOL}" "${SOURCE}" ${OUTPUT_OPTION} "${OUTPUT}" ${OPTIONS} ${console}
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE "${OUTPUT}")
  message(FATAL_ERROR "${TOOL} failed on ${SOURCE}")
endif()
