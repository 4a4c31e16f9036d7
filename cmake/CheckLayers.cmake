# Fails when a file under src/ includes a folder its own folder may not depend on.
# Run as: cmake -DSOURCE_DIR=<repo> -DSTAMP=<file> -P CheckLayers.cmake
#
# Each folder may include itself and the folders listed for it, all below it:
#   platform <- image <- package <- protocol <- serial, lan, settings <- app; ui beside app.
set(allowed_platform "")
set(allowed_image "platform")
set(allowed_package "platform;image")
set(allowed_protocol "platform;image;package")
set(allowed_serial "platform;image;package;protocol")
set(allowed_lan "platform;image;package;protocol")
set(allowed_settings "platform;image;package;protocol")
set(allowed_ui "platform;image;package;protocol")
set(allowed_app "platform;image;package;protocol;serial;lan;settings")

# Includes of the update controller and between the roads that still run against the
# direction; each is removed from this list as the road stops reaching back.
set(pending_serial "app")
set(pending_lan "app;settings")
set(pending_settings "app;lan;serial")

file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}/src" "${SOURCE_DIR}/src/*.h" "${SOURCE_DIR}/src/*.cpp")
set(violations "")
foreach(source IN LISTS sources)
  string(REGEX MATCH "^[^/]+" folder "${source}")
  if(NOT DEFINED allowed_${folder})
    list(APPEND violations "src/${source}: folder '${folder}' has no place in the layers (cmake/CheckLayers.cmake)")
    continue()
  endif()
  file(STRINGS "${SOURCE_DIR}/src/${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[a-z]+/")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([a-z]+)/.*" "\\1" target "${line}")
    if(target STREQUAL folder)
      continue()
    endif()
    list(FIND allowed_${folder} "${target}" at)
    set(pending_at -1)
    if(DEFINED pending_${folder})
      list(FIND pending_${folder} "${target}" pending_at)
    endif()
    if(at EQUAL -1 AND pending_at EQUAL -1)
      list(APPEND violations "src/${source}: ${line} reaches from ${folder}/ up or across to ${target}/")
    endif()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "Includes against the layers:\n  ${text}")
endif()
if(STAMP)
  file(TOUCH "${STAMP}")
endif()
