# Runs compose_bits of the Windows tree (under Wine) and of the Linux tree on the same PNG
# pictures and fails, showing both, unless they print the same portrait bits and label.
#   cmake -DWINDOWS_TOOL=… -DLINUX_TOOL=… -DDATA=… -DMASK=… -DOUT=… -P CompareComposeBits.cmake
if(NOT EXISTS "${LINUX_TOOL}")
  message(FATAL_ERROR "the Linux tree's ${LINUX_TOOL} is missing: build the Linux tree first "
                      "(./dev build, or NORVO_LINUX_BUILD_DIR naming it), then run this again")
endif()
set(inputs "${DATA}/blend-body.png" "${DATA}/blend-face.png" "${MASK}")
execute_process(COMMAND "${LINUX_TOOL}" ${inputs} "${OUT}/compose-bits-linux.jpg"
                OUTPUT_VARIABLE linux ERROR_VARIABLE linux_error RESULT_VARIABLE linux_status)
execute_process(COMMAND wine "${WINDOWS_TOOL}" ${inputs} "${OUT}/compose-bits-windows.jpg"
                OUTPUT_VARIABLE windows ERROR_VARIABLE windows_error RESULT_VARIABLE windows_status)
string(REPLACE "\r\n" "\n" windows "${windows}")
message("Linux:\n${linux}${linux_error}Windows:\n${windows}${windows_error}")
if(NOT linux_status EQUAL 0 OR NOT windows_status EQUAL 0)
  message(FATAL_ERROR "compose_bits failed (Linux ${linux_status}, Windows ${windows_status})")
endif()
if(NOT linux MATCHES "^portrait [0-9]+x600 ")
  message(FATAL_ERROR "the Linux tool printed no 600-high portrait")
endif()
if(NOT linux STREQUAL windows)
  message(FATAL_ERROR "MISMATCH: the Windows build composes or labels the portrait differently "
                      "from the Linux build")
endif()
