# The threaded rack test shares the fake plug-ins and the rack rig of the host unit tests.
# The test command builds it on its own with -DOV_SANITIZE=thread (target host_tsan_tests)
# and runs it under ThreadSanitizer; in a plain build it runs as an ordinary test.
target_include_directories(host_tsan_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/host)
