# Run by CPack on the staged tree before packing: the programs lose, as
# Debian's dh_strip does it, the sections a program never needs at run time
# (.comment and .note, which CPack's plain strip keeps).
find_program(STRIP_PROGRAM strip REQUIRED)
file(GLOB_RECURSE programs ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*)
foreach(program ${programs})
	execute_process(COMMAND ${STRIP_PROGRAM} --remove-section=.comment
			--remove-section=.note --strip-unneeded ${program}
		RESULT_VARIABLE result)
	if(NOT result EQUAL 0)
		message(FATAL_ERROR "cannot strip ${program}")
	endif()
endforeach()
