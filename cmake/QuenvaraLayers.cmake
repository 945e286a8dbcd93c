# Each folder is a target that sees only the folders it may include: its
# include path is a view made of links to those folders alone, so that an
# include against the layering fails to build. A target that links another
# sees that one's view as well (the view is a public include directory).
#
#   quenvara_layer(TARGET FOLDER...)   e.g. quenvara_layer(quenvara_protocol protocol)
# A FOLDER of the form NAME=PATH is seen as NAME (quenvara=include/quenvara).
function(quenvara_layer target)
  set(view "${CMAKE_BINARY_DIR}/include-views/${target}")
  file(REMOVE_RECURSE "${view}")
  foreach(entry IN LISTS ARGN)
    if(entry MATCHES "^([^=]+)=(.+)$")
      set(name "${CMAKE_MATCH_1}")
      set(folder "${CMAKE_MATCH_2}")
    else()
      set(name "${entry}")
      set(folder "${entry}")
    endif()
    get_filename_component(parent "${view}/${name}" DIRECTORY)
    file(MAKE_DIRECTORY "${parent}")
    file(CREATE_LINK "${PROJECT_SOURCE_DIR}/${folder}" "${view}/${name}" SYMBOLIC)
  endforeach()
  target_include_directories(${target} PUBLIC "${view}")
endfunction()
