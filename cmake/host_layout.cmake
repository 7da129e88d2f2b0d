# The host's record layouts, measured from the vendor's headers on x86-64, turned into a
# table that the layout test compares with the declarations in host/.
#
# ORMEL_HOST_LAYOUT names the figures: the shared copy beside the project when there is
# one, else the copy kept in host/.
set(_ormel_shared_layout ${CMAKE_SOURCE_DIR}/../shared/host-layout.txt)
if(EXISTS ${_ormel_shared_layout})
  get_filename_component(_ormel_default_layout ${_ormel_shared_layout} REALPATH)
else()
  set(_ormel_default_layout ${CMAKE_SOURCE_DIR}/host/layout-x86_64.txt)
endif()
set(ORMEL_HOST_LAYOUT ${_ormel_default_layout} CACHE FILEPATH "Offsets and sizes of the host's records")

# Writes `out` with one ORMEL_LAYOUT_RECORD(record, size) or
# ORMEL_LAYOUT_MEMBER(record, member, offset, size) line per figure, in the file's order.
function(ormel_generate_host_layout out)
  if(NOT EXISTS ${ORMEL_HOST_LAYOUT})
    message(FATAL_ERROR "host layout figures not found: ${ORMEL_HOST_LAYOUT}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ORMEL_HOST_LAYOUT})
  file(STRINGS ${ORMEL_HOST_LAYOUT} lines)
  set(body "// Generated from ${ORMEL_HOST_LAYOUT}; do not edit.\n")
  set(count 0)
  foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]*(#|$)")
      continue()
    elseif(line MATCHES "^([A-Za-z_][A-Za-z_0-9]*) sizeof ([0-9]+)$")
      string(APPEND body "ORMEL_LAYOUT_RECORD(${CMAKE_MATCH_1}, ${CMAKE_MATCH_2})\n")
    elseif(line MATCHES "^([A-Za-z_][A-Za-z_0-9]*)\\.([A-Za-z_][A-Za-z_0-9]*) ([0-9]+) ([0-9]+)$")
      string(APPEND body "ORMEL_LAYOUT_MEMBER(${CMAKE_MATCH_1}, ${CMAKE_MATCH_2}, ${CMAKE_MATCH_3}, ${CMAKE_MATCH_4})\n")
    else()
      message(FATAL_ERROR "${ORMEL_HOST_LAYOUT}: cannot read the line '${line}'")
    endif()
    math(EXPR count "${count} + 1")
  endforeach()
  if(count EQUAL 0)
    message(FATAL_ERROR "${ORMEL_HOST_LAYOUT} holds no figures")
  endif()
  file(CONFIGURE OUTPUT ${out} CONTENT "${body}")
endfunction()
