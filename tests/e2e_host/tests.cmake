# The end-to-end host tests run the real ov-pluginhost with the audio stand-in as Orvia.
target_link_libraries(e2e_host_tests PRIVATE ov_standin_audio)
foreach(program ov-pluginhost ov-standin-audio)
  if(TARGET ${program})
    add_dependencies(e2e_host_tests ${program})
  endif()
endforeach()
