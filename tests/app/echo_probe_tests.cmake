# Tests of the ICMP echo probe, included from tests/app/CMakeLists.txt.
set(_probe_dir ${CMAKE_CURRENT_LIST_DIR})
ostrelin_test(echo_probe_test SOURCES ${_probe_dir}/echo_probe_test.cpp
  LIBS echo_probe runtime platform_heap)

add_executable(echo_probe_netns_test ${_probe_dir}/echo_probe_netns_test.cpp)
target_link_libraries(echo_probe_netns_test PRIVATE echo_probe runtime platform_heap
                      GTest::gtest GTest::gtest_main Threads::Threads)

# The same test addresses as the facility's own namespace tests; outside 10.77.0.0/16.
set(_answer 198.51.100.10)
set(_ignore 198.51.100.20)
set(_vanish 198.51.100.30)
set(_no_route 198.51.100.40)
set(_router_no_route 198.51.100.60)
# As root with and without datagram sockets allowed, and unprivileged where the namespace
# allows none, so that no ICMP socket opens at all.
find_program(SETPRIV setpriv)
foreach(kind datagram raw none_unprivileged)
  set(_as_user "")
  set(_expect ${kind})
  if(kind STREQUAL "datagram")
    set(_group --ping-group)
  elseif(kind STREQUAL "raw")
    set(_group --no-ping-group)
  else()
    if(NOT SETPRIV)
      continue()
    endif()
    set(_group --no-ping-group)
    set(_as_user ${SETPRIV} --reuid=65534 --regid=65534 --clear-groups)
    set(_expect none)
  endif()
  add_test(NAME echo_probe_netns_${kind}
    COMMAND ${PROJECT_SOURCE_DIR}/tools/netns/netns_run.sh ${_group}
      --answer ${_answer} --ignore ${_ignore} --vanish ${_vanish} --no-route ${_no_route}
      --router-no-route ${_router_no_route} --set ICMP_TEST_ROUTER_NO_ROUTE=${_router_no_route}
      --set ICMP_TEST_ANSWER=${_answer} --set ICMP_TEST_IGNORE=${_ignore}
      --set ICMP_TEST_VANISH=${_vanish} --set ICMP_TEST_NO_ROUTE=${_no_route}
      --set ICMP_EXPECT_SOCKET=${_expect}
      -- ${_as_user} $<TARGET_FILE:echo_probe_netns_test>)
  set_tests_properties(echo_probe_netns_${kind} PROPERTIES
    LABELS netns SKIP_RETURN_CODE 77 TIMEOUT 120)
endforeach()
