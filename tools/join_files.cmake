# Writes the given files one after another into OUT (only when that changes it).
string(REPLACE "|" ";" FILES "${FILES}")
set(text "")
foreach(f ${FILES})
  file(READ ${f} part)
  string(APPEND text "${part}")
endforeach()
file(WRITE ${OUT}.tmp "${text}")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${OUT}.tmp ${OUT})
