# Each folder of the program is a library of its own that links only the folders below it: net and figure at
# the bottom, then capture, flow, measurement, output and app. A library's include path holds a view of its own
# folder and, through what it links, of the folders below, and nothing else; so a file that includes a
# higher folder does not build.
function(wiretally_layer target folder)
  set(view ${PROJECT_BINARY_DIR}/layers/${folder})
  file(MAKE_DIRECTORY ${view})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${view}/${folder} SYMBOLIC)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${view})
  else()
    target_include_directories(${target} PUBLIC ${view})
  endif()
endfunction()
