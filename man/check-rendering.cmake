# Renders a manual page with every groff warning enabled and fails on any diagnostic, so that a page that
# would render wrongly, or whose markup man-db would complain about, never reaches a release.
# Usage: cmake -DGROFF=<groff> -DPAGE=<page> -P check-rendering.cmake
execute_process(COMMAND ${GROFF} -ww -rCHECKSTYLE=3 -man -z ${PAGE}
                RESULT_VARIABLE status
                OUTPUT_VARIABLE output
                ERROR_VARIABLE output)
if(NOT status EQUAL 0 OR NOT output STREQUAL "")
  message(FATAL_ERROR "groff rendered ${PAGE} with status ${status} and these diagnostics:\n${output}")
endif()
