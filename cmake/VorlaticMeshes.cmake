# vorlatic_add_meshes(<target> [OUTPUT_DIRECTORY dir] [IMPORT_OPTIONS options...] [PREVIEW]
#                     SOURCES files...)
#
# Converts a game's meshes at build time, one .3db per source in OUTPUT_DIRECTORY (by default
# meshes/ in the current build folder): .msh and .smsh sources with vorlatic, whose console echo
# goes to <output>.log beside the output; every other source with vorlatic-import (--quiet, then
# IMPORT_OPTIONS). With PREVIEW, `vorlatic-inspect --png` draws each mesh as <name>.png beside it
# (where vorlatic-inspect was built without --png, a warning says so and no picture is drawn).
# <target> builds them all, and is part of the default build. A source is converted again only
# when it or the tool changed; a failing source fails the build with the tool's diagnostic and
# leaves no output of its own behind.
set_property(GLOBAL PROPERTY VORLATIC_MESHES_DIR "${CMAKE_CURRENT_LIST_DIR}")

function(vorlatic_add_meshes target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "PREVIEW" "OUTPUT_DIRECTORY" "IMPORT_OPTIONS;SOURCES")
  if(arg_UNPARSED_ARGUMENTS OR NOT arg_SOURCES)
    message(FATAL_ERROR "vorlatic_add_meshes(${target}): takes [OUTPUT_DIRECTORY dir] "
                        "[IMPORT_OPTIONS options...] [PREVIEW] SOURCES files...")
  endif()
  if(arg_PREVIEW)
    get_target_property(drawing Vorlatic::vorlatic-inspect VORLATIC_PNG)
    if(NOT drawing)
      message(WARNING "vorlatic_add_meshes(${target}): PREVIEW draws no pictures: this "
                      "Vorlatic's vorlatic-inspect was built without --png (it needs OSMesa and "
                      "libpng, Debian libosmesa6-dev and libpng-dev)")
      set(arg_PREVIEW OFF)
    endif()
  endif()
  set(directory "${arg_OUTPUT_DIRECTORY}")
  if(NOT directory)
    set(directory meshes)
  endif()
  get_filename_component(directory "${directory}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  file(MAKE_DIRECTORY "${directory}")
  get_property(scripts GLOBAL PROPERTY VORLATIC_MESHES_DIR)
  set(outputs)
  set(pictures)
  foreach(source IN LISTS arg_SOURCES)
    get_filename_component(source "${source}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    get_filename_component(name "${source}" NAME_WLE)
    get_filename_component(extension "${source}" LAST_EXT)
    string(TOLOWER "${extension}" extension)
    set(output "${directory}/${name}.3db")
    if(output IN_LIST outputs)
      message(FATAL_ERROR "vorlatic_add_meshes(${target}): two sources make ${output}")
    endif()
    list(APPEND outputs "${output}")
    if(extension STREQUAL ".msh" OR extension STREQUAL ".smsh")
      set(tool Vorlatic::vorlatic)
      set(log "${output}.log")
      set(options)
    else()
      if(NOT TARGET Vorlatic::vorlatic-import)
        message(FATAL_ERROR "vorlatic_add_meshes(${target}): ${source} needs vorlatic-import, "
                            "which was not built (it needs libassimp-dev and "
                            "libmeshoptimizer-dev)")
      endif()
      set(tool Vorlatic::vorlatic-import)
      set(log "")
      set(options --quiet ${arg_IMPORT_OPTIONS})
    endif()
    # The step: the tool, its console to the log, and no output left when it fails. A POSIX
    # shell costs a millisecond where CMake's script mode costs tens; Windows has no such shell.
    if(CMAKE_HOST_WIN32)
      set(step "${CMAKE_COMMAND}" "-DTOOL=$<TARGET_FILE:${tool}>" "-DSOURCE=${source}"
               "-DOUTPUT=${output}" "-DLOG=${log}" "-DOPTIONS=${options}"
               -P "${scripts}/VorlaticMeshStep.cmake")
    else()
      set(console "/dev/null")
      if(log)
        set(console "${log}")
      endif()
      # (No semicolon in it: CMake would take it for a list separator.)
      set(step sh -c "t=$0 s=$1 o=$2 c=$3 && shift 3 && \"$t\" \"$s\" \"$o\" \"$@\" >\"$c\" || (rm -f \"$o\" && exit 1)"
               "$<TARGET_FILE:${tool}>" "${source}" "${output}" "${console}" ${options})
    endif()
    file(RELATIVE_PATH shown "${CMAKE_SOURCE_DIR}" "${source}")
    add_custom_command(OUTPUT "${output}" ${log}
                       COMMAND ${step}
                       DEPENDS "${source}" ${tool}
                       COMMENT "Converting mesh ${shown}"
                       VERBATIM)
    if(arg_PREVIEW)
      _vorlatic_add_picture("${output}" "${shown}" "${scripts}")
    endif()
  endforeach()
  add_custom_target(${target} ALL DEPENDS ${outputs} ${pictures})
endfunction()

# The step that draws <output>'s picture as <name>.png beside it; the picture goes to `pictures`
# in the caller's scope.
function(_vorlatic_add_picture output shown scripts)
  get_filename_component(directory "${output}" DIRECTORY)
  get_filename_component(name "${output}" NAME_WLE)
  set(picture "${directory}/${name}.png")
  set(tool Vorlatic::vorlatic-inspect)
  if(CMAKE_HOST_WIN32)
    set(step "${CMAKE_COMMAND}" "-DTOOL=$<TARGET_FILE:${tool}>" "-DSOURCE=${output}"
             "-DOUTPUT_OPTION=--png" "-DOUTPUT=${picture}" -P "${scripts}/VorlaticMeshStep.cmake")
  else()
    # The summary goes nowhere; the inspector leaves no picture when it fails.
    set(step sh -c "\"$0\" \"$1\" --png \"$2\" >/dev/null" "$<TARGET_FILE:${tool}>" "${output}"
             "${picture}")
  endif()
  add_custom_command(OUTPUT "${picture}"
                     COMMAND ${step}
                     DEPENDS "${output}" ${tool}
                     COMMENT "Drawing mesh ${shown}"
                     VERBATIM)
  set(pictures ${pictures} "${picture}" PARENT_SCOPE)
endfunction()
