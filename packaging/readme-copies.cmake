# Makes the two readme files of the Windows package from the one UTF-8 source: a UTF-8 copy and a
# code page 932 copy, both with the CR LF line ends that Windows editors expect. The UTF-8 copy
# starts with a byte order mark, so that editors which would otherwise take it for the ANSI code
# page read it as UTF-8.
#   cmake -DSOURCE=readme.txt -DUTF8=readme-utf8.txt -DCP932=readme.txt -DICONV=iconv -P this-file
foreach(variable SOURCE UTF8 CP932 ICONV)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "readme-copies.cmake needs -D${variable}=...")
  endif()
endforeach()

file(READ "${SOURCE}" text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")

# iconv gets the text without the byte order mark, which code page 932 has no place for.
file(WRITE "${UTF8}.plain" "${text}")
execute_process(
  COMMAND "${ICONV}" -f UTF-8 -t CP932 "${UTF8}.plain"
  OUTPUT_FILE "${CP932}"
  RESULT_VARIABLE failed
  ERROR_VARIABLE complaint)
file(REMOVE "${UTF8}.plain")
if(failed)
  file(REMOVE "${CP932}")
  message(FATAL_ERROR "${SOURCE} has text that code page 932 cannot hold: ${complaint}")
endif()
string(ASCII 239 187 191 byte_order_mark)
file(WRITE "${UTF8}" "${byte_order_mark}${text}")
