# The embedded alarm clip: library `alarm_clip`, whose source is generated at build time
# from alarm_clip.ogg. Run with -P (script mode) this same file writes that source.

if(CMAKE_SCRIPT_MODE_FILE)
  # Script mode: -DCLIP=<.ogg> -DOUTPUT=<.cpp>
  file(READ "${CLIP}" hex HEX)
  string(LENGTH "${hex}" hex_length)
  if(hex_length EQUAL 0)
    message(FATAL_ERROR "alarm clip ${CLIP} is empty")
  endif()
  # Sixteen bytes to a line, each as 0xNN.
  string(REGEX REPLACE "(................................)" "\\1\n" hex "${hex}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "\n$" "" bytes "${bytes}")
  file(WRITE "${OUTPUT}.tmp"
    "// Generated from alarm_clip.ogg at build time; edits are lost.\n"
    "#include \"app/alarm_clip.h\"\n\n"
    "const unsigned char ALARM_CLIP[] = {\n${bytes}\n};\n"
    "const size_t ALARM_CLIP_SIZE = sizeof(ALARM_CLIP);\n")
  file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
  return()
endif()

include_guard(GLOBAL)

set(ALARM_CLIP_OGG ${CMAKE_CURRENT_LIST_DIR}/alarm_clip.ogg)
set(ALARM_CLIP_SOURCE ${CMAKE_CURRENT_BINARY_DIR}/alarm_clip_data.cpp)
add_custom_command(
  OUTPUT ${ALARM_CLIP_SOURCE}
  COMMAND ${CMAKE_COMMAND} -DCLIP=${ALARM_CLIP_OGG} -DOUTPUT=${ALARM_CLIP_SOURCE}
          -P ${CMAKE_CURRENT_LIST_FILE}
  DEPENDS ${ALARM_CLIP_OGG} ${CMAKE_CURRENT_LIST_FILE}
  COMMENT "Embedding the alarm clip"
  VERBATIM)
ostrelin_library(alarm_clip ${ALARM_CLIP_SOURCE})
