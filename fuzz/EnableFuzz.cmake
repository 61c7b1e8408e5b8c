# Lets scripts/fuzz-run add this folder to a build of the project whose
# top-level CMakeLists.txt does not add it itself: given as
# CMAKE_PROJECT_TOP_LEVEL_INCLUDES, it reads the folder's CMakeLists.txt once
# the top level has added everything else, so that the kit's targets exist by
# then. (A deferred call may not add a subdirectory, so it is included; its
# arguments are expanded only when it runs, hence the variable.)
set(RDX_FUZZ_LIST_FILE "${CMAKE_CURRENT_LIST_DIR}/CMakeLists.txt")
cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}"
	CALL include "${RDX_FUZZ_LIST_FILE}")
