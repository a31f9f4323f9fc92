# Run by CPack once the files are staged: the Debian package, and only it,
# gets the changelog that Debian requires of a native package, compressed
# as Debian compresses documentation.
set(doc_dir ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/${CPACK_SUITE_DOCDIR})
execute_process(
  COMMAND ${CPACK_SUITE_GZIP} -9nc ${CPACK_SUITE_CHANGELOG}
  OUTPUT_FILE ${doc_dir}/changelog.gz
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "could not compress ${CPACK_SUITE_CHANGELOG} into ${doc_dir}")
endif()
