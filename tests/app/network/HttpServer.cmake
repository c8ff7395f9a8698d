# Tests of the HTTP file server; included from the tests' CMakeLists.txt.
add_executable(httpserver_tests
  ${CMAKE_CURRENT_LIST_DIR}/CSocketServerTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HttpServerTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LoopbackClient.cpp
)
target_link_libraries(httpserver_tests PRIVATE vellumo_httpserver GTest::gtest_main)
gtest_discover_tests(httpserver_tests PROPERTIES LABELS sanitized TIMEOUT 120)
