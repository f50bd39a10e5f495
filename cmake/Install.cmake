# Installation (cmake --install, GNU directory layout) and the Debian package
# (cpack -G DEB, or tools/make-package.sh).

set(TINTWISE_APP_ID "org.example.tintwise" CACHE STRING
    "AppStream component id (reverse domain name of the project's home page)")
set(TINTWISE_HOMEPAGE "https://tintwise.example.org/" CACHE STRING
    "The project's home page, ending in '/'; the screenshot is published there as screenshot.png")
set(TINTWISE_MAINTAINER "Tintwise developers <maintainers@tintwise.example.org>" CACHE STRING
    "The package maintainer, as: Name <address>")
execute_process(COMMAND date -u -R -d "${TINTWISE_RELEASE_DATE} 12:00"
  OUTPUT_VARIABLE TINTWISE_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)

install(TARGETS tintwise-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The demo site is a stand-in server for demonstrations and tests, not a
# command of its own for users: it goes to libexec, and the manual page says
# how to start it.
if(TARGET tintwise-demosite)
  install(TARGETS tintwise-demosite RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/tintwise)
endif()
if(TINTWISE_BUILD_GUI)
  install(TARGETS tintwise RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  add_subdirectory(data)
endif()

# The Debian package; Windows gets its installer and zip of its own.
if(NOT WIN32)
  include(cmake/Package.cmake)
endif()
