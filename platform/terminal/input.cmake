# Key input of the console: records decoded from the terminal, the line read, and the
# in-memory console's input queue.
target_sources(platform_terminal PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/input_decode.cpp
  ${CMAKE_CURRENT_LIST_DIR}/input_real.cpp
  ${CMAKE_CURRENT_LIST_DIR}/input_records.cpp
  ${CMAKE_CURRENT_LIST_DIR}/input_virtual.cpp)
