# The end-to-end client tests run the real ovctl against the stand-in API.
target_link_libraries(e2e_cli_tests PRIVATE ov_standin_api)
if(TARGET ovctl)
  add_dependencies(e2e_cli_tests ovctl)
endif()
