# The program is started elevated from folders that other programs of the
# user may write into, so every DLL that is not a KnownDLL is delay-loaded:
# it is then loaded only after wWinMain has limited the search to System32.
# Each delay_<name> target is a delay-import library made from the
# toolchain's own import library (so the symbols match its headers on i686
# and x86_64 alike); link it instead of <name>.
set(QUORVEX_DELAY_DLLS wininet wintrust crypt32 urlmon userenv msimg32 comctl32 oleacc
    CACHE INTERNAL "DLLs the program loads only on first use")

set(QUORVEX_DELAY_IMPORTS_SCRIPT ${CMAKE_CURRENT_LIST_FILE})

function(quorvex_delay_imports)
  set(out_dir ${CMAKE_BINARY_DIR}/delayimp)
  file(MAKE_DIRECTORY ${out_dir})
  foreach(name ${QUORVEX_DELAY_DLLS})
    set(lib ${out_dir}/lib${name}_delay.a)
    set(import_lib ${CMAKE_FIND_ROOT_PATH}/lib/lib${name}.a)
    if(NOT EXISTS ${lib} OR ${import_lib} IS_NEWER_THAN ${lib} OR ${QUORVEX_DELAY_IMPORTS_SCRIPT} IS_NEWER_THAN ${lib})
      execute_process(COMMAND ${QUORVEX_MINGW}-nm ${import_lib} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
      if(NOT rc EQUAL 0)
        message(FATAL_ERROR "cannot read ${import_lib}")
      endif()
      # Functions only: an import thunk "T" symbol beside its "__imp_" pointer.
      string(REGEX MATCHALL "[^\n]* I __imp_[^\n]*" imports "${symbols}")
      set(def "LIBRARY ${name}.dll\nEXPORTS\n")
      foreach(line ${imports})
        string(REGEX REPLACE ".* I __imp_" "" symbol "${line}")
        if(CMAKE_SIZEOF_VOID_P EQUAL 4)
          # Exactly one: CMake's REGEX REPLACE anchors "^" again after each
          # match, which would turn comctl32's _TrackMouseEvent into user32's.
          string(REGEX REPLACE "^_(.*)$" "\\1" symbol "${symbol}")
        endif()
        # Interface ids some import libraries export as data (oleacc's on
        # x86_64): libuuid defines them, and a delay library cannot carry data.
        if(symbol MATCHES "^(IID|LIBID|CLSID|DIID)_")
          continue()
        endif()
        string(APPEND def "${symbol}\n")
      endforeach()
      file(WRITE ${out_dir}/${name}.def "${def}")
      set(kill_at)
      if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(kill_at -k)  # stdcall names keep "@n" in the library, not in the DLL
      endif()
      # Relative names: dlltool names its symbols and temporary files after
      # the output's path, which must not make two builds' programs differ.
      execute_process(COMMAND ${QUORVEX_MINGW}-dlltool --input-def ${name}.def --dllname ${name}.dll
                              --output-delaylib lib${name}_delay.a ${kill_at}
                      WORKING_DIRECTORY ${out_dir}
                      RESULT_VARIABLE rc)
      if(NOT rc EQUAL 0)
        message(FATAL_ERROR "dlltool could not make ${lib}")
      endif()
    endif()
    add_library(delay_${name} STATIC IMPORTED GLOBAL)
    set_target_properties(delay_${name} PROPERTIES IMPORTED_LOCATION ${lib})
  endforeach()
endfunction()
