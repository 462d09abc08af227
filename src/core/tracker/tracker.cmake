# In the fuzz build the tracker protocol code gets the coverage instrumentation
# that guides libFuzzer through its branches (only the fuzz targets link it there).
if(ZELTRA_FUZZ)
  set_source_files_properties(
    ${CMAKE_CURRENT_SOURCE_DIR}/tracker/TrackerLink.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/tracker/FlockRecord.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/tracker/FastrakLine.cpp
    PROPERTIES COMPILE_OPTIONS "-fsanitize=fuzzer-no-link,address,undefined")
endif()
