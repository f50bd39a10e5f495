# The Debian package: tintwise_<version>_amd64.deb, its library
# dependencies computed by dpkg-shlibdeps, and libcurl4 named here.
set(CPACK_PACKAGE_NAME tintwise)
set(CPACK_PACKAGE_VENDOR "The Tintwise developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${TINTWISE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tell whether a picture was already posted")
set(CPACK_PACKAGE_FILE_NAME "tintwise_${PROJECT_VERSION}_amd64")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_PACKAGE_NAME tintwise)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TINTWISE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TINTWISE_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The HTTP library is loaded when the first fetch needs it (dlopen), so
# dpkg-shlibdeps cannot see it; CPack adds this to what it finds.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcurl4 (>= 7.85.0)")
# Japanese text needs a Japanese font; opening an entry's page needs the
# desktop's URL handler.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic | fonts-japanese-gothic, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
# The extended description; CPack puts the summary above it as the synopsis
# and indents it. (No double quotes: CPack turns them into list separators.)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tintwise tells whether a picture has already been posted to the
image-posting site mofu!. It reduces the picture to a colour signature
of 3 by 3 pixels and lists the closest entries of the site, with title,
poster, id and difference; a double click opens the entry's page.
.
The site's signatures are kept in a local cache fetched from the cache
server, so a search puts almost no load on the site. JPEG, PNG, GIF, BMP
and WebP pictures are read. The package holds the window (tintwise), a
command-line front end for scripts (tintwise-cli) and a demo site that
stands in for the real servers.")

include(CPack)
