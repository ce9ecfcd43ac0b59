# Validates the desktop entry as shipped and as installed into a folder whose
# name needs every kind of quoting. Fails on any error or warning.
# In: VALIDATOR, DESKTOP_SOURCE, WORK_DIR.

if(NOT VALIDATOR OR NOT EXISTS "${VALIDATOR}")
  message(FATAL_ERROR "desktop-file-validate not found: install the package desktop-file-utils")
endif()

set(awkward "${WORK_DIR}/Pelumir 画像 $HOME `x` \"q\" 100% back\\slash")
set(installed "${WORK_DIR}/installed.desktop")
set(DESKTOP_PREFIX "${awkward}")
set(DESKTOP_OUTPUT "${installed}")
include("${CMAKE_CURRENT_LIST_DIR}/WriteDesktopEntry.cmake")

foreach(entry IN ITEMS "${DESKTOP_SOURCE}" "${installed}")
  execute_process(COMMAND "${VALIDATOR}" "${entry}"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR out MATCHES "(error|warning):" OR err MATCHES "(error|warning):")
    message(FATAL_ERROR "${entry} is not a valid desktop entry:\n${out}${err}")
  endif()
endforeach()
