# vorlatic_add_meshes(<target> [OUTPUT_DIRECTORY dir] [IMPORT_OPTIONS options...]
#                     SOURCES files...)
#
# Converts a game's meshes at build time, one .3db per source in OUTPUT_DIRECTORY (by default
# meshes/ in the current build folder): .msh and .smsh sources with vorlatic, whose console echo
# goes to <output>.log beside the output; every other source with vorlatic-import (--quiet, then
# IMPORT_OPTIONS). <target> builds them all, and is part of the default build. A source is
# converted again only when it or the tool changed; a failing source fails the build with the
# tool's diagnostic and leaves no output of its own behind.
set_property(GLOBAL PROPERTY VORLATIC_MESHES_DIR "${CMAKE_CURRENT_LIST_DIR}")

function(vorlatic_add_meshes target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "OUTPUT_DIRECTORY" "IMPORT_OPTIONS;SOURCES")
  if(arg_UNPARSED_ARGUMENTS OR NOT arg_SOURCES)
    message(FATAL_ERROR "vorlatic_add_meshes(${target}): takes [OUTPUT_DIRECTORY dir] "
                        "[IMPORT_OPTIONS options...] SOURCES files...")
  endif()
  set(directory "${arg_OUTPUT_DIRECTORY}")
  if(NOT directory)
    set(directory meshes)
  endif()
  get_filename_component(directory "${directory}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  file(MAKE_DIRECTORY "${directory}")
  get_property(scripts GLOBAL PROPERTY VORLATIC_MESHES_DIR)
  set(outputs)
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
  endforeach()
  add_custom_target(${target} ALL DEPENDS ${outputs})
endfunction()
