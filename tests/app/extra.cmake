# The program test starts the built program as a subprocess: the command users start, which
# starts the windows program for all but conversions.
if(TARGET test_app AND TARGET multi_tolvanex)
  target_compile_definitions(test_app PRIVATE TOLV_PROGRAM_PATH="$<TARGET_FILE:multi_tolvanex>"
    TOLV_WINDOW_PROGRAM_PATH="$<TARGET_FILE:multi_tolvanex_windows>")
  add_dependencies(test_app multi_tolvanex multi_tolvanex_windows)
endif()

# The program lists devices through the stand-in libftdi1 (defined with the ftdi tests).
if(TARGET test_app)
  add_dependencies(test_app tolv_ftdi1_standin)
  target_compile_definitions(test_app PRIVATE
    TOLV_STANDIN_FTDI1_DIR="$<TARGET_FILE_DIR:tolv_ftdi1_standin>")
endif()

# The stand-in D2XX library, for a listing that fails while the program starts.
if(TARGET test_app)
  add_dependencies(test_app tolv_ftd2xx_standin)
  target_compile_definitions(test_app PRIVATE
    TOLV_STANDIN_D2XX_DIR="$<TARGET_FILE_DIR:tolv_ftd2xx_standin>")
endif()
