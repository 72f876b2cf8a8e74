cmake_minimum_required(VERSION 3.25)
# The window's and the report's texts carry the version as literals
# ("Corvasta V1.1.0 x64"), the README names the packages and the image, and
# the Kubernetes manifests pull the image; each of them must agree with
# project().
# Usage: cmake -DSOURCE_DIR=... -DVERSION=... -P version_texts_check.cmake
set(failures "")
set(carriers "")

# Records every file that carries PATTERN and every match that is not EXPECTED.
function(check_texts pattern expected)
  foreach(source ${ARGN})
    file(STRINGS ${source} lines REGEX "${pattern}")
    if(lines)
      list(APPEND carriers ${source})
    endif()
    string(REGEX MATCHALL "${pattern}" found "${lines}")
    foreach(text ${found})
      if(NOT text STREQUAL expected)
        string(APPEND failures "\n  ${source}: ${text}")
      endif()
    endforeach()
  endforeach()
  set(failures "${failures}" PARENT_SCOPE)
  set(carriers "${carriers}" PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE sources LIST_DIRECTORIES false
     ${SOURCE_DIR}/ui/* ${SOURCE_DIR}/report/* ${SOURCE_DIR}/engine/* ${SOURCE_DIR}/cli/*
     ${SOURCE_DIR}/tests/*.cpp ${SOURCE_DIR}/tests/*.h ${SOURCE_DIR}/docs/*.html)
set(number "[0-9]+\\.[0-9]+\\.[0-9]+")
check_texts("Corvasta V${number}" "Corvasta V${VERSION}" ${sources})
check_texts("corvasta-${number}-win64" "corvasta-${VERSION}-win64" ${SOURCE_DIR}/README.md)
check_texts("corvasta-cli_${number}_" "corvasta-cli_${VERSION}_" ${SOURCE_DIR}/README.md)
# The image's tag, as the README runs it and the Kubernetes Jobs pull it.
check_texts("corvasta-cli:${number}" "corvasta-cli:${VERSION}" ${SOURCE_DIR}/README.md)
check_texts("newTag: \"${number}\"" "newTag: \"${VERSION}\"" ${SOURCE_DIR}/deploy/kubernetes/kustomization.yaml)

# Moving a text elsewhere must not leave this check with nothing to look at.
foreach(expected report/report.h ui/main_window.cpp ui/portable/window_texts.cpp README.md
                 deploy/kubernetes/kustomization.yaml)
  if(NOT "${SOURCE_DIR}/${expected}" IN_LIST carriers)
    string(APPEND failures "\n  ${expected}: carries no version")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "texts that disagree with the project's version ${VERSION}:${failures}")
endif()
message(STATUS "every version text says ${VERSION}")
