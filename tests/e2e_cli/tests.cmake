# The end-to-end client tests run the real ovctl against the stand-in API, in-process and as
# the ov-standin-api program.
target_link_libraries(e2e_cli_tests PRIVATE ov_standin_api)
foreach(program ovctl ov-standin-api)
  if(TARGET ${program})
    add_dependencies(e2e_cli_tests ${program})
  endif()
endforeach()
