# Runs the drawing script into a fresh folder and fails unless every file it
# writes is byte-identical to the committed one.
file(REMOVE_RECURSE ${OUT})
execute_process(COMMAND ${PYTHON} ${RESOURCES}/draw_pictures.py --out ${OUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "draw_pictures.py failed: ${result}")
endif()
foreach(name start_picture.png running_picture.png corvasta.ico)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${RESOURCES}/${name} ${OUT}/${name}
    RESULT_VARIABLE different)
  if(NOT different EQUAL 0)
    message(FATAL_ERROR "${name} drawn anew differs from the committed file")
  endif()
endforeach()
