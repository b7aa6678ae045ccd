# The section headings of manual pages: what help2man writes, and the German
# heading the pages of the user programs carry instead.
set(VIVIV_MAN_HEADINGS
  "NAME|BEZEICHNUNG"
  "SYNOPSIS|ÜBERSICHT"
  "DESCRIPTION|BESCHREIBUNG"
  "OPTIONS|OPTIONEN"
  "EXIT STATUS|RÜCKGABEWERT"
  "ENVIRONMENT|UMGEBUNG"
  "FILES|DATEIEN"
  "EXAMPLES|BEISPIELE"
  "AUTHOR|AUTOR"
  "REPORTING BUGS|FEHLER MELDEN"
  "COPYRIGHT|COPYRIGHT"
  "SEE ALSO|SIEHE AUCH")

# Month names for the page's date, which help2man writes in English.
set(VIVIV_MAN_MONTHS
  "January|Januar" "February|Februar" "March|März" "April|April" "May|Mai" "June|Juni"
  "July|Juli" "August|August" "September|September" "October|Oktober" "November|November"
  "December|Dezember")
