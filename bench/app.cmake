# The velkar program as a user meets it: start to first paint on the demo root,
# resident memory over ten ticks, and CPU over one minute of emulation. The
# benchmark starts the real binary, so it is built first.
if(TARGET velkar)
  velkar_add_bench(app_bench ${CMAKE_CURRENT_LIST_DIR}/app_shell.cpp)
  add_dependencies(app_bench velkar)
endif()
