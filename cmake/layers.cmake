# The layers of core/: one static library per layer, zentor_<layer>, linked only
# to the layers it builds on. A layer's library exports an include tree holding
# its own headers alone, so a file sees the headers of its layer and of the
# layers it links (directly or through them), nothing above: an include against
# the direction fails to compile, and configuring reports it first. Every layer
# is also linked whole on its own (zentor_layer_check_<layer>), so a call into a
# layer above fails to link even without its header.
#
# A layer is the folder core/<layer>, plus the FILES it claims from other folders:
#   zentor_layer(<layer> <layers it builds on>... [TESTING] [FILES <paths under core/>...])
# A new folder is one line here. zentor_core links them all for the programs,
# except the TESTING ones (test doubles), which only tests, benchmarks and
# fuzzers link.

set(ZENTOR_LAYERS "")
set(ZENTOR_LAYER_CLAIMED "")
set(ZENTOR_TESTING_LAYERS "")
function(zentor_layer name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "TESTING" "" "FILES")
  if(arg_TESTING)
    set(ZENTOR_TESTING_LAYERS ${ZENTOR_TESTING_LAYERS} ${name} PARENT_SCOPE)
  endif()
  set(ZENTOR_LAYER_${name} ${arg_UNPARSED_ARGUMENTS} PARENT_SCOPE)
  set(ZENTOR_LAYER_FILES_${name} ${arg_FILES} PARENT_SCOPE)
  set(ZENTOR_LAYERS ${ZENTOR_LAYERS} ${name} PARENT_SCOPE)
  set(ZENTOR_LAYER_CLAIMED ${ZENTOR_LAYER_CLAIMED} ${arg_FILES} PARENT_SCOPE)
endfunction()

# The user's texts and their translations, below everything that speaks.
zentor_layer(text)
zentor_layer(common text)
zentor_layer(config common)
zentor_layer(serial common)
zentor_layer(journal common)
# What every command is given (station) and what one command works with (job),
# opening its port, and the frame
# (folder lock, journal lines) around an instrument command.
zentor_layer(station config serial journal)
zentor_layer(instrument station)
zentor_layer(bootrom station)
zentor_layer(update instrument bootrom)
zentor_layer(verify instrument)
zentor_layer(find instrument bootrom)
# One command on many ports at once: port folders, images, the stop relay.
zentor_layer(gang station)
# Test doubles of the core's interfaces: RecordingFrontend, VirtualClock.
zentor_layer(testing common TESTING)

# Folders a layer may reach, itself included.
function(zentor_layer_reach name out)
  set(reach ${name})
  set(todo ${ZENTOR_LAYER_${name}})
  while(todo)
    list(POP_FRONT todo next)
    if(NOT next IN_LIST reach)
      list(APPEND reach ${next})
      list(APPEND todo ${ZENTOR_LAYER_${next}})
    endif()
  endwhile()
  set(${out} ${reach} PARENT_SCOPE)
endfunction()

# The files of a layer (paths relative to core/): its folder's headers and
# sources not claimed by another layer, its claimed files, and no sources of the
# other platform.
function(zentor_layer_files core_dir name out)
  file(GLOB_RECURSE files CONFIGURE_DEPENDS RELATIVE ${core_dir}
       ${core_dir}/${name}/*.h ${core_dir}/${name}/*.cpp)
  foreach(file ${files})
    if(file IN_LIST ZENTOR_LAYER_CLAIMED)
      list(REMOVE_ITEM files ${file})
    endif()
  endforeach()
  list(APPEND files ${ZENTOR_LAYER_FILES_${name}})
  if(WIN32)
    list(FILTER files EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER files EXCLUDE REGEX "_win32\\.cpp$")
  endif()
  set(${out} ${files} PARENT_SCOPE)
endfunction()

# The layer that owns a header "folder/name.h".
function(zentor_header_layer header out)
  foreach(layer ${ZENTOR_LAYERS})
    if(header IN_LIST ZENTOR_LAYER_FILES_${layer})
      set(${out} ${layer} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  string(REGEX REPLACE "/.*" "" folder ${header})
  set(${out} ${folder} PARENT_SCOPE)
endfunction()

# Configure-time check: every include of a core header names a layer the
# including file's layer reaches.
function(zentor_check_layers core_dir)
  file(GLOB folders LIST_DIRECTORIES true RELATIVE ${core_dir} ${core_dir}/*)
  foreach(folder ${folders})
    if(IS_DIRECTORY ${core_dir}/${folder} AND NOT folder IN_LIST ZENTOR_LAYERS)
      message(FATAL_ERROR "core/${folder} has no line in cmake/layers.cmake")
    endif()
  endforeach()
  set(violations "")
  foreach(layer ${ZENTOR_LAYERS})
    zentor_layer_reach(${layer} reach)
    zentor_layer_files(${core_dir} ${layer} files)
    foreach(file ${files})
      file(STRINGS ${core_dir}/${file} includes REGEX "^#include \"[a-z_]+/[^\"]+\"")
      foreach(line ${includes})
        string(REGEX REPLACE "^#include \"([a-z_]+/[^\"]+)\".*" "\\1" header ${line})
        if(NOT EXISTS ${core_dir}/${header})
          continue()
        endif()
        zentor_header_layer(${header} owner)
        if(NOT owner IN_LIST reach)
          list(APPEND violations "core/${file} (${layer}) includes ${header} (${owner})")
        endif()
      endforeach()
    endforeach()
  endforeach()
  if(violations)
    list(JOIN violations "\n  " text)
    message(FATAL_ERROR "Includes against the layer direction (see cmake/layers.cmake):\n  ${text}")
  endif()
endfunction()

# The libraries. Each layer's headers are linked into <build>/layers/<layer>
# under their usual names; where the host cannot make symbolic links, every
# layer sees all of core/ and only the configure-time check holds.
function(zentor_add_layers core_dir)
  set(trees ${CMAKE_BINARY_DIR}/layers)
  file(REMOVE_RECURSE ${trees})
  file(MAKE_DIRECTORY ${trees})
  file(CREATE_LINK ${core_dir}/common ${trees}/probe RESULT linked SYMBOLIC)
  file(REMOVE ${trees}/probe)
  file(WRITE ${trees}/check_main.cpp "int main() { return 0; }\n")
  add_library(zentor_core INTERFACE)
  set(all_sources "")
  foreach(layer ${ZENTOR_LAYERS})
    zentor_layer_files(${core_dir} ${layer} files)
    set(sources ${files})
    list(FILTER sources INCLUDE REGEX "\\.cpp$")
    list(TRANSFORM sources PREPEND ${core_dir}/)
    list(APPEND all_sources ${sources})
    if(linked EQUAL 0)
      set(tree ${trees}/${layer})
      set(headers ${files})
      list(FILTER headers INCLUDE REGEX "\\.h$")
      foreach(header ${headers})
        get_filename_component(dir ${tree}/${header} DIRECTORY)
        file(MAKE_DIRECTORY ${dir})
        file(CREATE_LINK ${core_dir}/${header} ${tree}/${header} SYMBOLIC)
      endforeach()
    else()
      set(tree ${core_dir})
    endif()
    set(deps ${ZENTOR_LAYER_${layer}})
    list(TRANSFORM deps PREPEND zentor_)
    if(sources)
      add_library(zentor_${layer} STATIC ${sources})
      target_include_directories(zentor_${layer} PUBLIC ${tree})
      target_link_libraries(zentor_${layer} PUBLIC ${deps})
      if(NOT WIN32)
        add_executable(zentor_layer_check_${layer} ${trees}/check_main.cpp)
        target_link_libraries(zentor_layer_check_${layer} PRIVATE
                              "$<LINK_LIBRARY:WHOLE_ARCHIVE,zentor_${layer}>")
      endif()
    else()
      add_library(zentor_${layer} INTERFACE)
      target_include_directories(zentor_${layer} INTERFACE ${tree})
      target_link_libraries(zentor_${layer} INTERFACE ${deps})
    endif()
    if(NOT layer IN_LIST ZENTOR_TESTING_LAYERS)
      target_link_libraries(zentor_core INTERFACE zentor_${layer})
    endif()
  endforeach()
  set(ZENTOR_CORE_SOURCES ${all_sources} PARENT_SCOPE)
endfunction()
