# Makes one installed manual page: the version filled in, break points between
# Chinese characters (groff breaks lines only at spaces, and Chinese has none),
# then compressed as Debian installs manual pages.
#
#   cmake -DIN=page.1.in -DOUT=page.1.gz -DVERSION=x.y -P man_page.cmake
set(PROJECT_VERSION "${VERSION}")
set(page "${OUT}.tmp")
configure_file("${IN}" "${page}" @ONLY)
# A break point (\:) between two Chinese characters, never before closing
# punctuation; and two lines of Chinese text join without the space a line
# break would make. Requests and macro lines stay as they are.
set(han "\\p{Han}\\x{3000}-\\x{303F}\\x{FF00}-\\x{FFEF}")
set(opening "\\p{Han}\\x{3000}-\\x{3003}\\x{3008}\\x{300A}\\x{300C}\\x{300E}\\x{3010}\\x{FF08}\\x{FF10}-\\x{FF19}\\x{FF21}-\\x{FF3A}\\x{FF41}-\\x{FF5A}")
execute_process(
  COMMAND perl -CSD -i -pe "next if /^[.']/; s/([${han}])(?=[${opening}])/\$1\\\\:/g" "${page}"
  COMMAND_ERROR_IS_FATAL ANY)
execute_process(
  COMMAND perl -CSD -0777 -i -pe "s/^([^.'\\n][^\\n]*[${han}])\\n(?=[${han}])/\$1\\\\c\\n/mg" "${page}"
  COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND gzip -9nc "${page}" OUTPUT_FILE "${OUT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot compress ${page}")
endif()
file(REMOVE "${page}")
