# Where an installed tree keeps its files. The packages install under /usr, and so does a plain
# `cmake --install` unless told otherwise (--prefix): the libraries then go to the multiarch
# folder and the configuration to /etc. CMake's own default, /usr/local, is taken for not told,
# also in a tree configured before this rule existed, so that any tree can build the packages.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT OR CMAKE_INSTALL_PREFIX STREQUAL "/usr/local")
  set(CMAKE_INSTALL_PREFIX /usr CACHE PATH "Install prefix" FORCE)
endif()
include(GNUInstallDirs)

# The project's own shared libraries and the module are private to its programs: a folder of
# their own, found through the programs' RUNPATH rather than the system's library path.
set(RBX_INSTALL_MODULEDIR ${CMAKE_INSTALL_LIBDIR}/rbx53207)
set(RBX_INSTALL_FULL_MODULEDIR ${CMAKE_INSTALL_FULL_LIBDIR}/rbx53207)
file(RELATIVE_PATH rbx_bin_to_libs ${CMAKE_INSTALL_FULL_BINDIR} ${RBX_INSTALL_FULL_MODULEDIR})
# Programs find the libraries relative to themselves; the libraries (and the module) each other
# beside themselves. The build tree keeps its own RPATH.
set(CMAKE_INSTALL_RPATH "$ORIGIN/${rbx_bin_to_libs}")
set(RBX_LIBRARY_INSTALL_RPATH "$ORIGIN")
