# Collects every text the program marks with NORVO_TEXT into a fresh Qt Linguist file: the
# list each translation must cover. Run as a script:
#   cmake -DLUPDATE=... -DOUTPUT=file.ts -DFOLDERS="a;b" -P CollectTexts.cmake
# lupdate warns for each file that its texts stand outside a Qt object; that is by design here
# (the texts are looked up by namespace), so only its other messages are passed on.
file(REMOVE "${OUTPUT}")
execute_process(
  COMMAND "${LUPDATE}" -locations none -extensions h,cpp
    -tr-function-alias QT_TR_NOOP=NORVO_TEXT ${FOLDERS} -ts "${OUTPUT}"
  RESULT_VARIABLE result
  OUTPUT_VARIABLE out
  ERROR_VARIABLE err)
string(REGEX REPLACE "[^\n]*lacks Q_OBJECT macro\n?" "" err "${err}")
if(NOT result EQUAL 0 OR NOT err STREQUAL "")
  message(FATAL_ERROR "collecting the program's texts failed (${result}):\n${out}${err}")
endif()
