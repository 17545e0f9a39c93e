# The programs (the command line, the dataset program, the tools, the
# benchmark, the Python module and the examples) reach the library's core only
# through include/dadimero: the public header and the programs' door in
# include/dadimero/internal. This script fails, naming the file, the line and
# the header, when one of their files includes a header of the core, however
# the include is written: by its folder (model/lanes.hpp), through a relative
# path (../subtractor/...), or by any path that leads into a core folder.
#
#   cmake -DSOURCE_DIR=<repository> [-DFILES=<a;b;...>] [-DSTAMP=<file>] -P check_program_includes.cmake
#
# Without FILES it checks every .cpp and .hpp of the programs' folders; with
# STAMP it touches that file when every include passes.
cmake_minimum_required(VERSION 3.22)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "check_program_includes.cmake needs -DSOURCE_DIR=<repository>")
endif()
set(core_folders model colour depth masks images threads subtractor)
set(program_folders src/run src/dataset tools bench python examples)
# Where a quoted include may be found: beside the including file, then on the
# include paths any target of the build has.
set(roots ${SOURCE_DIR}/src ${SOURCE_DIR}/include ${SOURCE_DIR}/src/files)
foreach(folder IN LISTS program_folders)
  list(APPEND roots ${SOURCE_DIR}/${folder})
endforeach()
set(core_paths)
foreach(folder IN LISTS core_folders)
  file(REAL_PATH ${SOURCE_DIR}/src/${folder} path)
  list(APPEND core_paths ${path})
endforeach()
if(NOT DEFINED FILES)
  set(FILES)
  foreach(folder IN LISTS program_folders)
    file(GLOB_RECURSE found ${SOURCE_DIR}/${folder}/*.cpp ${SOURCE_DIR}/${folder}/*.hpp)
    list(APPEND FILES ${found})
  endforeach()
endif()

string(JOIN "|" core_alternatives ${core_folders})
set(failures)
foreach(source IN LISTS FILES)
  file(STRINGS ${source} lines)
  get_filename_component(source_dir ${source} DIRECTORY)
  set(number 0)
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"]")
      continue()
    endif()
    set(header ${CMAKE_MATCH_1})
    set(core FALSE)
    # A path through a folder named as a core folder.
    if(header MATCHES "(^|/)(${core_alternatives})/")
      set(core TRUE)
    endif()
    # A path that leads into a core folder from the file or from any root.
    foreach(root IN ITEMS ${source_dir} ${roots})
      if(core)
        break()
      endif()
      if(IS_ABSOLUTE ${header})
        set(candidate ${header})
      else()
        set(candidate ${root}/${header})
      endif()
      if(NOT EXISTS ${candidate})
        continue()
      endif()
      file(REAL_PATH ${candidate} candidate)
      foreach(path IN LISTS core_paths)
        string(FIND ${candidate} "${path}/" at)
        if(at EQUAL 0)
          set(core TRUE)
        endif()
      endforeach()
    endforeach()
    if(core)
      file(RELATIVE_PATH shown ${SOURCE_DIR} ${source})
      list(APPEND failures "${shown}:${number}: includes ${header}, a header of the library's core")
    endif()
  endforeach()
endforeach()

if(failures)
  list(JOIN failures "\n" text)
  message(FATAL_ERROR "${text}\nThe programs reach the library only through include/dadimero: "
                      "the public header, and include/dadimero/internal for DADI-MERO's own programs.")
endif()
if(STAMP)
  file(TOUCH ${STAMP})
endif()
