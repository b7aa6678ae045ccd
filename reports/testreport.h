#pragma once

#include <QDate>
#include <QStringList>

#include <functional>

#include "reports/reportinput.h"

class QPainter;
class QPrinter;

// Longest raw-data line of the printed report, in characters.
constexpr int kReportLineLength = 120;

// Wraps each line longer than maxLength at blanks; parts without blanks that
// are still too long are cut into pieces of maxLength. Replaces the list.
void wrapLines(QStringList &lines, int maxLength);

// Pages the report needs for this many (wrapped) raw-data lines.
int reportPageCount(int dataLines);

// Returns the bottom edge of the logo, 0 for an edition without one.
int drawLogo(QPainter &painter, int edition);
void drawFooter(QPainter &painter, int edition, const QString &page, const QString &pageCount);

// Sets a printer up for the report: A4 portrait at 72 dpi, so one unit is one
// point, with coordinates from the paper's corner.
void setUpReportPrinter(QPrinter &printer);

// The A4 test report: date, protocol, value grid and the raw data of the last test.
class TestReport
{
public:
    explicit TestReport(ReportInput input, QDate date = QDate::currentDate());

    // Paints all pages on an already set-up printer.
    void paint(QPrinter *printer) const;

private:
    void paintHeader(QPainter &painter) const;
    void paintValues(QPainter &painter) const;

    ReportInput input;
    QDate date;
};

// Shows the modal print preview "Bericht drucken"; paint is called with the
// preview's printer whenever the preview needs the pages.
void runReportPreview(const std::function<void(QPrinter *)> &paint);
