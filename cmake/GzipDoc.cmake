# Compresses one document as Debian ships them, a manual page converted from
# scdoc first:
#   cmake [-DSCDOC=scdoc] -DGZIP=gzip -DIN=FILE -DOUT=FILE.gz -P GzipDoc.cmake
# With SCDOC, IN is an scdoc source and the page is also left beside OUT
# without the .gz. gzip -n leaves out the name and time, so that the same
# source gives the same bytes.
set(_plain "${IN}")
if(SCDOC)
  get_filename_component(_dir "${OUT}" DIRECTORY)
  get_filename_component(_page "${OUT}" NAME_WLE)
  set(_plain "${_dir}/${_page}")
  execute_process(COMMAND "${SCDOC}" INPUT_FILE "${IN}" OUTPUT_FILE "${_plain}" RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    file(REMOVE "${_plain}")
    message(FATAL_ERROR "scdoc could not convert ${IN}")
  endif()
endif()
execute_process(COMMAND "${GZIP}" -9 -n -c "${_plain}" OUTPUT_FILE "${OUT}" RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  file(REMOVE "${OUT}")
  message(FATAL_ERROR "gzip could not compress ${_plain}")
endif()
