# cmake -DFUZZER=<program> -DFOLDERS=<folder>|<folder>... -P ReplayFuzzInputs.cmake
# Runs a libFuzzer program once over every file of the folders (a folder
# that does not exist holds none), without mutating, and fails when it
# reports. The files are listed when the test runs, so an input added to a
# folder is replayed without configuring again.
string(REPLACE "|" ";" folders "${FOLDERS}")
set(inputs)
foreach(folder IN LISTS folders)
  if(IS_DIRECTORY ${folder})
    file(GLOB found LIST_DIRECTORIES false ${folder}/*)
    list(SORT found)
    list(APPEND inputs ${found})
  endif()
endforeach()
list(LENGTH inputs count)
if(count EQUAL 0)
  message(FATAL_ERROR "no inputs in ${FOLDERS}")
endif()
execute_process(COMMAND ${FUZZER} -timeout=20 -rss_limit_mb=2048 ${inputs} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${FUZZER} reported a fault (${result}) on one of ${count} inputs")
endif()
message(STATUS "${count} inputs replayed")
