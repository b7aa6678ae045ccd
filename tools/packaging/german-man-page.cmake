# Makes a manual page German: the section headings and the month of its date
# (help2man writes both in English, and a German locale is not at hand where
# the package is built), without the "Aufruf:" line that help2man cannot read
# as the synopsis. A page written by hand gets its version and date here too.
#   cmake -DIN=page -DOUT=page -DVERSION=1.19 -P german-man-page.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/man-headings.cmake)

file(READ ${IN} page)
string(TIMESTAMP date "%B %Y") # like help2man, after SOURCE_DATE_EPOCH if set
string(REPLACE "@DATE@" "${date}" page "${page}")
string(REPLACE "@VERSION@" "${VERSION}" page "${page}")
string(REGEX REPLACE "\nAufruf: [^\n]*" "" page "${page}")
string(REPLACE "\"User Commands\"" "\"Benutzerbefehle\"" page "${page}")
# The formatter hyphenates by English rules, which split German words wrongly.
string(REGEX REPLACE "(\n\\.TH [^\n]*\n)" "\\1.nh\n" page "${page}")
foreach(pair ${VIVIV_MAN_MONTHS})
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 english)
  list(GET pair 1 german)
  string(REGEX REPLACE "(\n\\.TH [^\n]*\")${english}( [0-9]+\")" "\\1${german}\\2" page "${page}")
endforeach()
foreach(pair ${VIVIV_MAN_HEADINGS})
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 english)
  list(GET pair 1 german)
  string(REGEX REPLACE "\n\\.SH \"?${english}\"?\n" "\n.SH \"${german}\"\n" page "${page}")
endforeach()
file(WRITE ${OUT} "${page}")
