# Makes a delay-load import library from the toolchain's ordinary one: the exports its thunks name go into a
# module definition, and dlltool writes the delay-load form of it.
#   cmake -DNM=... -DDLLTOOL=... -DSOURCE=libx.a -DDLL=x.dll -DOUTPUT=libx_delay.a -P DelayImportLib.cmake
execute_process(COMMAND ${NM} --defined-only ${SOURCE} OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${NM} could not read ${SOURCE}")
endif()
string(REGEX MATCHALL "[0-9a-fA-F]+ T [^\n]+" thunks "${symbols}")
set(def "LIBRARY ${DLL}\nEXPORTS\n")
foreach(thunk IN LISTS thunks)
  string(REGEX REPLACE "^[0-9a-fA-F]+ T " "" name "${thunk}")
  string(APPEND def "  ${name}\n")
endforeach()
file(WRITE ${OUTPUT}.def "${def}")
execute_process(COMMAND ${DLLTOOL} --input-def ${OUTPUT}.def --dllname ${DLL} --output-delaylib ${OUTPUT}
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${DLLTOOL} could not write ${OUTPUT}")
endif()
