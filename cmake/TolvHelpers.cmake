# One static library per source folder: every .cpp/.h in the folder belongs to it,
# so adding a file never needs a CMake edit.
function(tolv_add_library name dir)
  file(GLOB _cpp CONFIGURE_DEPENDS ${dir}/*.cpp)
  file(GLOB _hdr CONFIGURE_DEPENDS ${dir}/*.h)
  if(_cpp)
    add_library(${name} STATIC ${_cpp} ${_hdr})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    # A folder that holds no code yet still takes part in the dependency chain.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()

# One test program per test folder, registered with CTest test by test.
# Widget tests run on the offscreen platform (set by the shared test main).
function(tolv_add_test name dir)
  file(GLOB _src CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  if(NOT _src)
    return()
  endif()
  add_executable(${name} ${_src})
  target_link_libraries(${name} PRIVATE tolv_test_support ${ARGN})
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    DISCOVERY_TIMEOUT 60)
endfunction()

# Each .cpp in bench/ is one Google Benchmark program.
function(tolv_add_bench file)
  get_filename_component(_name ${file} NAME_WE)
  add_executable(${_name} ${file})
  target_link_libraries(${_name} PRIVATE benchmark::benchmark ${ARGN})
endfunction()
