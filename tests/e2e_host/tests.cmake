# The end-to-end host tests run the real ov-pluginhost with the audio stand-in as Orvia.
target_link_libraries(e2e_host_tests PRIVATE ov_standin_audio)
foreach(program ov-pluginhost ov-standin-audio)
  if(TARGET ${program})
    add_dependencies(e2e_host_tests ${program})
  endif()
endforeach()
# Starts a program with a non-blocking standard input (POSIX only).
if(NOT WIN32)
  add_executable(ov-nonblocking-stdin ${CMAKE_CURRENT_SOURCE_DIR}/e2e_host/nonblocking_stdin/main.cpp)
  add_dependencies(e2e_host_tests ov-nonblocking-stdin)
  target_compile_definitions(e2e_host_tests PRIVATE OV_NONBLOCKING_STDIN="$<TARGET_FILE:ov-nonblocking-stdin>")
endif()
