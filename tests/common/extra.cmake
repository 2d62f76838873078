# The text-table test reads the sources for the text ids they name.
if(TARGET test_common)
  target_compile_definitions(test_common PRIVATE TOLV_SOURCE_DIR="${PROJECT_SOURCE_DIR}/src")
endif()
