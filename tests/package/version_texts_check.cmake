cmake_minimum_required(VERSION 3.25)
# The window's and the report's texts carry the version as literals
# ("Corvasta V1.1.0 x64"); each of them must agree with project().
# Usage: cmake -DSOURCE_DIR=... -DVERSION=... -P version_texts_check.cmake
file(GLOB_RECURSE sources LIST_DIRECTORIES false
     ${SOURCE_DIR}/ui/* ${SOURCE_DIR}/report/* ${SOURCE_DIR}/engine/* ${SOURCE_DIR}/cli/*
     ${SOURCE_DIR}/tests/*.cpp ${SOURCE_DIR}/tests/*.h ${SOURCE_DIR}/docs/*.html)
set(failures "")
set(carriers "")
foreach(source ${sources})
  file(STRINGS ${source} lines REGEX "Corvasta V[0-9]+\\.[0-9]+\\.[0-9]+")
  foreach(line ${lines})
    list(APPEND carriers ${source})
    string(REGEX MATCHALL "Corvasta V[0-9]+\\.[0-9]+\\.[0-9]+" found "${line}")
    foreach(text ${found})
      if(NOT text STREQUAL "Corvasta V${VERSION}")
        string(APPEND failures "\n  ${source}: ${text}")
      endif()
    endforeach()
  endforeach()
endforeach()
# Moving a text elsewhere must not leave this check with nothing to look at.
foreach(expected report/report.h ui/main_window.cpp ui/portable/window_texts.cpp)
  if(NOT "${SOURCE_DIR}/${expected}" IN_LIST carriers)
    string(APPEND failures "\n  ${expected}: no \"Corvasta V${VERSION}\" text found")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "texts that disagree with the project's version ${VERSION}:${failures}")
endif()
message(STATUS "every version text says ${VERSION}")
