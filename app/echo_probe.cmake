# The ICMP echo probe, included from app/CMakeLists.txt.
ostrelin_library(echo_probe ${CMAKE_CURRENT_LIST_DIR}/echo_probe.cpp)
target_link_libraries(echo_probe PUBLIC runtime platform_icmp)
