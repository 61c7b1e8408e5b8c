# The Debian package, made by CPack from the install rules (`make package`,
# see scripts/build-package for the hardened flags it builds with).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rdx)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The RDX developers")
set(CPACK_PACKAGE_CONTACT "The RDX developers <rdx@rdxdoor.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
	"open a door with a network relay board when a tag is read")
set(CPACK_PACKAGE_DESCRIPTION
"RDX drives a four-relay network board from the desktop. When a tag reader
reports a tag, it opens the relay chosen for tags and closes it again after
the hold-open time. One small window shows whether the board is used, its
address, the tag relay, the hold-open time and the board's web pages.

rdx-reader reads tags from keyboard-type, serial and PC/SC readers and
passes the listed ones on; rdx-log shows the access log of who opened which
door when; rdx-mqtt puts the door on an MQTT broker, with Home Assistant
discovery; rdx-tags is a window to manage the tag list: who may open the
door and when, with the reads as they come; rdx-door watches the door
itself: its exit button opens through rdx, its contact (a reed switch on
GPIO, an input device or an MQTT sensor) raises held-open, forced-door and
sensor-lost alarms, also as desktop notifications. rdx-send reports a tag
from a shell, and rdx-board-sim is a board on the local machine for trying RDX
without hardware.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# What is installed is what a program needs: no debugging symbols, no
# compiler notes.
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/StripPackage.cmake)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
	OWNER_READ OWNER_WRITE OWNER_EXECUTE
	GROUP_READ GROUP_EXECUTE
	WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://rdxdoor.org/)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries come from dpkg-shlibdeps; wget makes every board request.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "wget")
# A reader on PC/SC needs the daemon, the MQTT bridge a broker somewhere;
# neither is needed for the window alone.
set(suggests)
if(EXISTS "${CMAKE_SOURCE_DIR}/tools/rdx-reader/CMakeLists.txt")
	list(APPEND suggests pcscd)
endif()
if(EXISTS "${CMAKE_SOURCE_DIR}/tools/rdx-mqtt/CMakeLists.txt")
	list(APPEND suggests mosquitto)
endif()
if(suggests)
	list(JOIN suggests ", " CPACK_DEBIAN_PACKAGE_SUGGESTS)
endif()

include(CPack)
