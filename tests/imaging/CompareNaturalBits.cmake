# Runs natural_timing of the Windows tree (under Wine) and of the Linux tree on the same PNG
# pictures and fails unless their natural portraits have the same bits: the natural blend is
# the same code on both systems, down to OpenCV's arithmetic.
#   cmake -DWINDOWS_TOOL=… -DLINUX_TOOL=… -DBODY=… -DBODY_BOX=… -DFACE=… -DFACE_BOX=… -DMASK=…
#         -DOUT=… -P CompareNaturalBits.cmake
if(NOT EXISTS "${LINUX_TOOL}")
  message(FATAL_ERROR "the Linux tree's ${LINUX_TOOL} is missing: build the Linux tree first "
                      "(./dev build, or NORVO_LINUX_BUILD_DIR naming it), then run this again")
endif()
set(inputs "${BODY}" "${BODY_BOX}" "${FACE}" "${FACE_BOX}" "${MASK}" 1)
execute_process(COMMAND "${LINUX_TOOL}" ${inputs} "${OUT}/natural-bits-linux.raw"
                OUTPUT_VARIABLE linux ERROR_VARIABLE linux_error RESULT_VARIABLE linux_status)
execute_process(COMMAND wine "${WINDOWS_TOOL}" ${inputs} "${OUT}/natural-bits-windows.raw"
                OUTPUT_VARIABLE windows ERROR_VARIABLE windows_error RESULT_VARIABLE windows_status)
message("Linux:\n${linux}${linux_error}Windows:\n${windows}${windows_error}")
if(NOT linux_status EQUAL 0 OR NOT windows_status EQUAL 0)
  message(FATAL_ERROR "natural_timing failed (Linux ${linux_status}, Windows ${windows_status})")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files
                "${OUT}/natural-bits-linux.raw" "${OUT}/natural-bits-windows.raw"
                RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
  message(FATAL_ERROR "MISMATCH: the Windows build blends the faces naturally into other "
                      "pixels than the Linux build")
endif()
