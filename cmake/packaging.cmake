# The Debian package (cpack -G DEB in the build folder): the four programs, their manual pages,
# the Slurm script, the Python package and the documentation under /usr. Its library dependencies are read from the
# programs by dpkg-shlibdeps; OpenBLAS, which zephor loads by name at run time and so no tool sees,
# and the batch script's programs are named here.
set(CPACK_PACKAGE_NAME zephor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "ZEPHOR developers")
set(CPACK_PACKAGE_CONTACT "ZEPHOR developers <zephor@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "extended-Hueckel molecular orbitals for H, B, C, N, O and F molecules")
set(CPACK_PACKAGE_DESCRIPTION "zephor reads one molecule, builds an STO-6G overlap matrix and a Wolfsberg-Helmholz
Hamiltonian, solves the generalized eigenproblem with LAPACK and writes a report and a checkpoint,
the same bytes on every machine. zephor-import, zephor-export and zephor-batch bring molecule
files in, write viewer files, pictures and results pages, and run many molecules at once.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
get_filename_component(zephor_lapack_dir "${zephor_lapack_library}" DIRECTORY)
if(zephor_lapack_dir MATCHES "/openblas-serial$")
  set(zephor_openblas_package libopenblas0-serial)
else()
  set(zephor_openblas_package libopenblas0-pthread)
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${zephor_openblas_package}")
if(ZEPHOR_COMPANIONS)
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", parallel, python3")
endif()
# The Python package's module is built for one minor version of the interpreter.
if(ZEPHOR_PYTHON)
  math(EXPR zephor_python_next "${Python3_VERSION_MINOR} + 1")
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}), "
                "python3 (<< ${Python3_VERSION_MAJOR}.${zephor_python_next}), python3-numpy")
endif()
if(ZEPHOR_COMPANIONS)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "jmol, avogadro, slurm-client")
endif()
include(CPack)
