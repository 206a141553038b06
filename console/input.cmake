# Key and line input of the console.
target_sources(console PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/console_input_graphical.cpp
  ${CMAKE_CURRENT_LIST_DIR}/console_input_poll.cpp
  ${CMAKE_CURRENT_LIST_DIR}/console_input_raw.cpp)
