# The check and soak of the audio stand-in and the benchmark programs run as programs against
# the real host.
target_link_libraries(e2e_tools_tests PRIVATE ov_standin_audio)
foreach(program ov-pluginhost ov-standin-audio ov-rack-bench ov-host-cost-bench)
  if(TARGET ${program})
    add_dependencies(e2e_tools_tests ${program})
  endif()
endforeach()
if(TARGET ov_test_plugins)
  add_dependencies(e2e_tools_tests ov_test_plugins)
endif()
