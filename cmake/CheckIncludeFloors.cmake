# Checks that every folder includes only its own headers and those of the
# floors beneath it. Run as a test: cmake -DROOT=<source dir> -P <this file>.
#
# Floors, from the bottom:
#   0  platform/rtl, engine (the engine's C interface)
#   1  platform/db, platform/desktop, errors, platform/engine
#   2  catalog
#   3  sessions
#   4  filter (over errors, platform/db and the bottom floor only)
#   5  dataset
#   6  tables
#   7  app, tools
# Within a floor no folder includes another (sideways is as bad as up).

# Script mode starts with old policies; IN_LIST needs the new ones.
cmake_minimum_required(VERSION 3.25)

if(NOT ROOT)
  message(FATAL_ERROR "ROOT (the source folder) is required")
endif()

set(folders platform/rtl engine platform/db platform/desktop errors platform/engine catalog sessions filter dataset
            tables app tools)
set(floor_platform/rtl 0)
set(floor_engine 0)
set(floor_platform/db 1)
set(floor_platform/desktop 1)
set(floor_errors 1)
set(floor_platform/engine 1)
set(floor_catalog 2)
set(floor_sessions 3)
set(floor_filter 4)
set(floor_dataset 5)
set(floor_tables 6)
set(floor_app 7)
set(floor_tools 7)
# Folders whose allowed includes are narrower than "everything beneath".
set(only_filter platform/rtl engine errors platform/db filter)

# The checked folder that a path (relative to ROOT) belongs to, or "".
function(folder_of path out)
  set(found "")
  foreach(f IN LISTS folders)
    string(LENGTH "${f}/" n)
    string(SUBSTRING "${path}/" 0 ${n} head)
    if(head STREQUAL "${f}/")
      set(found ${f})
    endif()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

set(violations "")
foreach(folder IN LISTS folders)
  if(NOT IS_DIRECTORY ${ROOT}/${folder})
    continue()
  endif()
  file(GLOB_RECURSE sources RELATIVE ${ROOT} ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.cpp)
  foreach(source IN LISTS sources)
    folder_of(${source} from)
    if(NOT from STREQUAL folder)
      continue()  # a sub-folder checked on its own (none today)
    endif()
    file(STRINGS ${ROOT}/${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]+\"")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([^\"]+)\".*" "\\1" target "${line}")
      folder_of(${target} to)
      if(to STREQUAL "" OR to STREQUAL from)
        continue()
      endif()
      set(ok FALSE)
      if(DEFINED only_${from})
        if(to IN_LIST only_${from})
          set(ok TRUE)
        endif()
      elseif(${floor_${to}} LESS ${floor_${from}})
        set(ok TRUE)
      endif()
      if(NOT ok)
        list(APPEND violations "${source}: includes ${target} (${from} may not include ${to})")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n" text)
  message(FATAL_ERROR "Includes that run up or sideways a floor:\n${text}")
endif()
message(STATUS "Include floors: no include runs up a floor")
