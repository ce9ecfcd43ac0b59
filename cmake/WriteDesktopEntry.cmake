# Writes the desktop entry of an installed Pelumir: the entry in resources/
# with Exec and Icon pointing into the install folder.
# In: DESKTOP_SOURCE, DESKTOP_PREFIX (the install folder), DESKTOP_OUTPUT.

if(DESKTOP_PREFIX MATCHES "[\n\r]")
  message(FATAL_ERROR "A desktop entry cannot name a folder whose name holds a line break: ${DESKTOP_PREFIX}")
endif()
set(prefix "${DESKTOP_PREFIX}")
# cmake_path keeps a backslash as an ordinary character of a name.
cmake_path(ABSOLUTE_PATH prefix)

# Exec: the program in double quotes, where ", `, $ and \ take a backslash;
# then the value's own escape doubles every backslash, and % is doubled so
# it is not read as a field code.
set(program "${prefix}/pelumir")
string(REPLACE "\\" "\\\\" program "${program}")
string(REPLACE "\"" "\\\"" program "${program}")
string(REPLACE "`" "\\`" program "${program}")
string(REPLACE "$" "\\$" program "${program}")
string(REPLACE "\\" "\\\\" program "${program}")
string(REPLACE "%" "%%" program "${program}")

set(icon "${prefix}/icons/pelumir-256.png")  # launchers scale the largest down
string(REPLACE "\\" "\\\\" icon "${icon}")

file(STRINGS "${DESKTOP_SOURCE}" lines ENCODING UTF-8)
set(text "")
foreach(line IN LISTS lines)
  if(line MATCHES "^Exec=")
    set(line "Exec=\"${program}\" %F")
  elseif(line MATCHES "^Icon=")
    set(line "Icon=${icon}")
  endif()
  string(APPEND text "${line}\n")
endforeach()
file(WRITE "${DESKTOP_OUTPUT}" "${text}")
