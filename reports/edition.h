#pragma once

#include <cstddef>
#include <iterator>

// The three editions the program is handed out in, chosen by the edition
// file. The window reads its branding from here, the printed report its logo
// and contact block; any other code selects no branding at all. It lives in
// reports/ because the window links reports/ anyway, while reports/ must not
// read app/.

// How the report scales its logo: to integer halves, or to two thirds rounded.
enum class ReportLogoScale { IntegerHalf, RoundedTwoThirds };

constexpr int kMaxFooterLines = 6;

struct Edition
{
    const char *productName;     // message boxes are titled productName + " Testprogramm"
    const char *titlePrefix;     // the version follows without a blank
    const char *windowLogoLeft;  // labelLogo1
    const char *windowLogoRight; // labelLogo2
    bool uploadOffered;          // the "Extras" menu with "Ergebnis senden"
    bool advertisesAtExit;       // the advertising dialog when the window closes
    const char *reportLogo;
    int reportLogoX;
    ReportLogoScale reportLogoScale;
    // Contact lines of the report's footer, top down. Placeholders until the
    // resellers hand in their own addresses.
    const char *footer[kMaxFooterLines];
};

inline constexpr Edition kEditions[] = {
    {"Viviv", "Viviv - Testprogramm v.", ":/Logo1.png", ":/Logo2.png", true, true,
     ":/Logo1.png", 400, ReportLogoScale::IntegerHalf,
     {"Musterfirma Messtechnik GmbH", "Max Mustermann", "Musterstraße 1", "12345 Musterstadt", "www.example.com"}},
    {"Dededodo", "Dededodo - Testprogramm v.", ":/Logo1_Ruvev.png", ":/Logo2_Ruvev.png", false, false,
     ":/Logo1_Ruvev.png", 410, ReportLogoScale::IntegerHalf,
     {"Beispielhandel GmbH", "Fachhandel für Zählerzubehör", "Beispielweg 2", "D-54321 Beispielstadt",
      "www.example.org"}},
    {"Dededodo", "Dededodo - Testprogramm v.", ":/Logo1_Rorozo.png", ":/Logo2_Rorozo.png", false, false,
     ":/Logo2_Rorozo.png", 400, ReportLogoScale::RoundedTwoThirds,
     {"Einzelunternehmen Erika Musterfrau", "Probegasse 3", "67890 Probedorf", "Tel: 01234 567890",
      "Email: info@example.net", "Internet: www.example.net"}},
};

// The edition of a code from the edition file; nullptr for codes without one.
constexpr const Edition *editionFor(int code)
{
    return code >= 0 && static_cast<std::size_t>(code) < std::size(kEditions) ? &kEditions[code] : nullptr;
}
