# Stand-in D2XX libraries for the dlopen backend: a complete one and one lacking FT_Close.
set(_tolv_standin_src ${CMAKE_CURRENT_LIST_DIR}/standin/standin_d2xx.cpp)

add_library(tolv_ftd2xx_standin SHARED ${_tolv_standin_src})
add_library(tolv_ftd2xx_standin_noclose SHARED ${_tolv_standin_src})
target_compile_definitions(tolv_ftd2xx_standin_noclose PRIVATE TOLV_STANDIN_NO_CLOSE)
foreach(_t tolv_ftd2xx_standin tolv_ftd2xx_standin_noclose)
  target_link_libraries(${_t} PRIVATE tolv_ftdi)
  # Only the D2XX calls leave the library; the program code inside stays private to it.
  target_link_options(${_t} PRIVATE -Wl,--exclude-libs,ALL)
  set_target_properties(${_t} PROPERTIES
    OUTPUT_NAME ftd2xx
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
endforeach()
set_target_properties(tolv_ftd2xx_standin PROPERTIES
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/ftdi_standin)
set_target_properties(tolv_ftd2xx_standin_noclose PROPERTIES
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/ftdi_standin_noclose)

if(TARGET test_ftdi)
  add_dependencies(test_ftdi tolv_ftd2xx_standin tolv_ftd2xx_standin_noclose)
  target_compile_definitions(test_ftdi PRIVATE
    TOLV_STANDIN_D2XX="$<TARGET_FILE:tolv_ftd2xx_standin>"
    TOLV_STANDIN_D2XX_NOCLOSE="$<TARGET_FILE:tolv_ftd2xx_standin_noclose>")
endif()

# Stand-in libftdi1 (same file name as Debian's, so the program finds it on LD_LIBRARY_PATH).
add_library(tolv_ftdi1_standin SHARED ${CMAKE_CURRENT_LIST_DIR}/standin/standin_ftdi1.cpp)
target_link_libraries(tolv_ftdi1_standin PRIVATE tolv_ftdi)
target_link_options(tolv_ftdi1_standin PRIVATE -Wl,--exclude-libs,ALL)
set_target_properties(tolv_ftdi1_standin PROPERTIES
  OUTPUT_NAME ftdi1
  VERSION 2
  SOVERSION 2
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/ftdi1_standin)
if(TARGET test_ftdi)
  add_dependencies(test_ftdi tolv_ftdi1_standin)
  target_compile_definitions(test_ftdi PRIVATE
    TOLV_STANDIN_FTDI1="$<TARGET_FILE:tolv_ftdi1_standin>")
endif()
