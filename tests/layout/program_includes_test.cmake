# cmake/check_program_includes.cmake against a small tree of its own: every
# way of reaching a header of the library's core from a program fails, naming
# the file, the line and the header; the public header, the programs' door,
# src/files and the program's own folder pass.
#   cmake -DCHECK=<check_program_includes.cmake> -DWORK=<scratch folder> -P program_includes_test.cmake
cmake_minimum_required(VERSION 3.22)

set(tree ${WORK}/tree)
file(REMOVE_RECURSE ${tree})
foreach(header src/model/lanes.hpp src/subtractor/frame_pipeline.hpp src/files/image_files.hpp
               include/dadimero/dadimero.hpp include/dadimero/internal/program_access.hpp
               src/run/fatal_error.hpp)
  file(WRITE ${tree}/${header} "#pragma once\n")
endforeach()
# A header of the program's folder that is a link to one of the core.
file(CREATE_LINK ${tree}/src/model/lanes.hpp ${tree}/src/run/lanes_link.hpp SYMBOLIC)

set(failures 0)
# Checks a program file of these lines: it must pass when `wanted` is empty,
# else fail with `wanted` in the message.
function(expect lines wanted)
  file(WRITE ${tree}/src/run/probe.cpp "${lines}")
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${tree} -P ${CHECK}
                  RESULT_VARIABLE result ERROR_VARIABLE errors OUTPUT_QUIET)
  string(REPLACE "\n" " " errors "${errors}")
  string(REGEX REPLACE " +" " " errors "${errors}")
  if(wanted STREQUAL "")
    if(NOT result EQUAL 0)
      message(SEND_ERROR "refused what a program may include:\n${lines}\n${errors}")
    endif()
  elseif(result EQUAL 0)
    message(SEND_ERROR "let a core header through:\n${lines}")
  else()
    string(FIND "${errors}" "${wanted}" at)
    if(at EQUAL -1)
      message(SEND_ERROR "the message lacks \"${wanted}\":\n${errors}")
    endif()
  endif()
endfunction()

set(allowed "#include \"dadimero/dadimero.hpp\"\n#include \"dadimero/internal/program_access.hpp\"\n"
            "#include \"image_files.hpp\"\n#include \"fatal_error.hpp\"\n#include <opencv2/core.hpp>\n")
string(JOIN "" allowed ${allowed})
expect("${allowed}" "")
expect("${allowed}#include \"model/lanes.hpp\"\n"
       "src/run/probe.cpp:6: includes model/lanes.hpp, a header of the library's core")
expect("#include <subtractor/frame_pipeline.hpp>\n"
       "src/run/probe.cpp:1: includes subtractor/frame_pipeline.hpp")
expect("  #  include \"../subtractor/frame_pipeline.hpp\"\n"
       "src/run/probe.cpp:1: includes ../subtractor/frame_pipeline.hpp")
expect("#include \"../../src/./model/lanes.hpp\"\n" "includes ../../src/./model/lanes.hpp")
expect("#include \"${tree}/src/model/lanes.hpp\"\n" "includes ${tree}/src/model/lanes.hpp")
expect("#include \"lanes_link.hpp\"\n" "src/run/probe.cpp:1: includes lanes_link.hpp")
