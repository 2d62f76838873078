# The program test starts the built program as a subprocess.
if(TARGET test_app AND TARGET multi_tolvanex)
  target_compile_definitions(test_app PRIVATE TOLV_PROGRAM_PATH="$<TARGET_FILE:multi_tolvanex>")
  add_dependencies(test_app multi_tolvanex)
endif()
