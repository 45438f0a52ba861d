# Run by CPack on its staging tree before it packs it, to leave the files as Debian
# wants them: manual pages and the changelog compressed with gzip -9n (no name, no time
# stamp, so the same sources give the same package), and the stripped programs without
# the compiler's .comment and .note sections, as dh_strip leaves them.
file(GLOB_RECURSE documents
    "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/share/man/*"
    "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/share/doc/*/changelog")
foreach(document IN LISTS documents)
    if(NOT document MATCHES "\\.gz$")
        execute_process(COMMAND gzip -9nf "${document}" COMMAND_ERROR_IS_FATAL ANY)
    endif()
endforeach()

file(GLOB programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*")
foreach(program IN LISTS programs)
    execute_process(COMMAND strip --remove-section=.comment --remove-section=.note "${program}"
                    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
