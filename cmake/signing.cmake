# Authenticode signatures of the Windows program and installers, made by scripts/sign-windows
# when a certificate and its key are given. The key's password is never cached: the signing step
# takes ROUTEWARDEN_SIGN_PASS from the build's environment. A change of these values changes the
# commands, so the program is linked and the installers are made again, signed or not.
set(ROUTEWARDEN_SIGN_CERT "" CACHE FILEPATH "PEM certificate (with its chain) that signs the program and installers; empty: unsigned")
set(ROUTEWARDEN_SIGN_KEY "" CACHE FILEPATH "PEM private key of ROUTEWARDEN_SIGN_CERT")
set(ROUTEWARDEN_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 timestamp service for the signatures; empty: none")

# routewarden_sign_command(<variable> <file>): sets <variable> to the COMMAND arguments that sign
# <file> in place, or to nothing when no certificate is given.
function(routewarden_sign_command variable file)
  set(command "")
  if(ROUTEWARDEN_SIGN_CERT AND ROUTEWARDEN_SIGN_KEY)
    set(command COMMAND ${CMAKE_COMMAND} -E env ROUTEWARDEN_SIGN_CERT=${ROUTEWARDEN_SIGN_CERT}
        ROUTEWARDEN_SIGN_KEY=${ROUTEWARDEN_SIGN_KEY} ROUTEWARDEN_SIGN_TIMESTAMP_URL=${ROUTEWARDEN_SIGN_TIMESTAMP_URL}
        bash ${PROJECT_SOURCE_DIR}/scripts/sign-windows ${file})
  endif()
  set(${variable} ${command} PARENT_SCOPE)
endfunction()
