#include "reports/testreport.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPixmap>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QRawFont>

#include <algorithm>
#include <cmath>

#include "reports/edition.h"
#include "reports/readablemarks.h"

namespace {

constexpr int kFirstPageLines = 50;
constexpr int kLaterPageLines = 82;
constexpr int kFirstDataY = 350;
constexpr int kLaterDataY = 90;
constexpr int kDataLineStep = 8;
constexpr int kLeftX = 41; // the right margin is as wide
constexpr int kPageWidth = 595; // A4 at 72 dpi
constexpr int kValueFirstBaseline = 170;
constexpr int kValueRowStep = 12;
constexpr int kValueBoxWidth = 100;

// By name: Qt 5 counts weights 0 to 99, Qt 6 1 to 1000.
constexpr QFont::Weight kBold = QFont::Bold;
constexpr QFont::Weight kNormal = QFont::Normal;

// One printed line of a value block: the field, whose code leads the label
// and whose displayed text and unit follow it, and the report's own label.
struct ReportValueLine
{
    std::size_t field; // row of kMeterFields
    const char *label;
};

#define REPORT_LINE(suffix, label) ReportValueLine{meterFieldIndex(&meter_result_t::Value_##suffix), label}
constexpr ReportValueLine kLeftBlock[] = {
    REPORT_LINE(180, "Bezug Gesamt:"),
    REPORT_LINE(181, "Bezug Tarif 1:"),
    REPORT_LINE(182, "Bezug Tarif 2:"),
    REPORT_LINE(280, "Lieferung Gesamt:"),
    REPORT_LINE(281, "Lieferung Tarif 1:"),
    REPORT_LINE(282, "Lieferung Tarif 2:"),
    REPORT_LINE(3270, "Spannung Phase 1:"),
    REPORT_LINE(5270, "Spannung Phase 2:"),
    REPORT_LINE(7270, "Spannung Phase 3:"),
    REPORT_LINE(3170, "Strom Phase 1:"),
    REPORT_LINE(5170, "Strom Phase 2"),
    REPORT_LINE(7170, "Strom Phase 3:"),
};

constexpr ReportValueLine kRightBlock[] = {
    REPORT_LINE(170, "Wirkleistung Bezug Gesamt:"),
    REPORT_LINE(171, "Wirkleistung Bezug Phase 1:"),
    REPORT_LINE(172, "Wirkleistung Bezug Phase 2:"),
    REPORT_LINE(173, "Wirkleistung Bezug Phase 3:"),
    REPORT_LINE(270, "Wirkleistung Lieferung Gesamt:"),
    REPORT_LINE(271, "Wirkleistung Lieferung Phase 1:"),
    REPORT_LINE(272, "Wirkleistung Lieferung Phase 2:"),
    REPORT_LINE(273, "Wirkleistung Lieferung Phase 3"),
};
#undef REPORT_LINE

// x of the label, left edge of the right-aligned value box, x of the unit.
struct BlockColumns
{
    int label;
    int value;
    int unit;
};
constexpr BlockColumns kLeftColumns{41, 140, 245};
constexpr BlockColumns kRightColumns{285, 420, 525};

int scaled(int pixels, ReportLogoScale scale)
{
    return scale == ReportLogoScale::IntegerHalf ? pixels / 2 : int(std::lround(pixels / 1.5));
}

constexpr int kFooterTop = 770;
constexpr int kFooterStep = 9;
constexpr int kPageTextX = 500;

void setFont(QPainter &painter, int pixelSize, QFont::Weight weight)
{
    // The page is laid out for Arial. Where it is missing (Linux), Liberation
    // Sans has the same metrics; asked for by name, so that the page does not
    // depend on the system's font aliases.
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    painter.setFont(font);
}

void paintBlock(QPainter &painter, const ReportValueLine *lines, std::size_t count, const BlockColumns &columns,
                const ReportInput &input)
{
    const auto baseline = [](std::size_t row) { return kValueFirstBaseline + kValueRowStep * int(row); };
    setFont(painter, 9, kBold);
    for (std::size_t row = 0; row < count; ++row)
        painter.drawText(columns.label, baseline(row),
                         QString::fromUtf8(kMeterFields[lines[row].field].obis) + QLatin1Char(' ')
                             + QString::fromUtf8(lines[row].label));
    setFont(painter, 9, kNormal);
    // Right-aligned on the labels' baseline: a box's top plus the font's
    // ascent would round differently from one Qt version to the next.
    const QFontMetricsF metrics(painter.font(), painter.device());
    for (std::size_t row = 0; row < count; ++row) {
        const MeterField &field = kMeterFields[lines[row].field];
        const QString value = input.values[lines[row].field].value_or(QString());
        painter.drawText(QPointF(columns.value + kValueBoxWidth - metrics.horizontalAdvance(value), baseline(row)), value);
        painter.drawText(columns.unit, baseline(row), QString::fromUtf8(field.unit));
    }
}

// A raw-data line of wide letters (or of many marks) can be longer than the
// page is wide even at 120 characters: it is narrowed to end at the right
// margin, not cut off by the paper's edge. Marks replace control characters
// only here, so that they do not change where lines wrap or pages break.
void drawDataLine(QPainter &painter, int y, const QString &raw)
{
    const QFontMetricsF metrics(painter.font(), painter.device());
    const QString line = withReadableMarks(raw, QRawFont::fromFont(painter.font()));
    const qreal width = metrics.horizontalAdvance(line);
    const qreal room = kPageWidth - 2 * kLeftX;
    if (width <= room) {
        painter.drawText(kLeftX, y, line);
        return;
    }
    painter.save();
    painter.translate(kLeftX, y);
    painter.scale(room / width, 1);
    painter.drawText(0, 0, line);
    painter.restore();
}

} // namespace

void wrapLines(QStringList &lines, int maxLength)
{
    QStringList out;
    for (const QString &line : qAsConst(lines)) {
        if (line.size() <= maxLength) {
            out << line;
            continue;
        }
        QStringList parts;
        for (const QString &word : line.split(QLatin1Char(' '))) {
            if (word.size() <= maxLength) {
                parts << word;
                continue;
            }
            for (int pos = 0; pos < word.size(); pos += maxLength)
                parts << word.mid(pos, maxLength);
        }
        QString current;
        for (const QString &part : qAsConst(parts)) {
            if (current.isEmpty()) {
                current = part;
            } else if (current.size() + 1 + part.size() <= maxLength) {
                current += QLatin1Char(' ') + part;
            } else {
                out << current;
                current = part;
            }
        }
        if (!current.isEmpty())
            out << current;
    }
    lines = out;
}

int reportPageCount(int dataLines)
{
    if (dataLines < kFirstPageLines)
        return 1;
    return 2 + (dataLines - kFirstPageLines) / kLaterPageLines;
}

int drawLogo(QPainter &painter, int edition)
{
    const Edition *branding = editionFor(edition);
    if (!branding)
        return 0;
    const QPixmap image(QString::fromUtf8(branding->reportLogo));
    const QRect area(branding->reportLogoX, 25, scaled(image.width(), branding->reportLogoScale),
                     scaled(image.height(), branding->reportLogoScale));
    painter.drawPixmap(area, image);
    return area.bottom() + 1;
}

void drawFooter(QPainter &painter, int edition, const QString &page, const QString &pageCount)
{
    setFont(painter, 8, kNormal);
    int pageTextY = kFooterTop;
    if (const Edition *branding = editionFor(edition)) {
        int y = kFooterTop;
        for (const char *line : branding->footer) {
            if (!line)
                break;
            painter.drawText(kLeftX, y, QString::fromUtf8(line));
            pageTextY = y;
            y += kFooterStep;
        }
    }
    painter.drawText(kPageTextX, pageTextY, QStringLiteral("Seite ") + page + QStringLiteral(" von ") + pageCount);
}

void setUpReportPrinter(QPrinter &printer)
{
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setResolution(72);
    printer.setFullPage(true);
}

TestReport::TestReport(ReportInput input, QDate date) : input(std::move(input)), date(date) {}

void TestReport::paintHeader(QPainter &painter) const
{
    setFont(painter, 16, kBold);
    painter.drawText(kLeftX, 100, QStringLiteral("Testbericht - ") + date.toString(QStringLiteral("dd.MM.yyyy")));
    setFont(painter, 12, kBold);
    painter.drawText(kLeftX, 140, QStringLiteral("Protokoll:  ") + input.protocol);
}

void TestReport::paintValues(QPainter &painter) const
{
    paintBlock(painter, kLeftBlock, std::size(kLeftBlock), kLeftColumns, input);
    paintBlock(painter, kRightBlock, std::size(kRightBlock), kRightColumns, input);
}

void TestReport::paint(QPrinter *printer) const
{
    printer->setResolution(72);
    QPainter painter(printer);
    drawLogo(painter, input.edition);
    paintHeader(painter);
    paintValues(painter);

    setFont(painter, 12, kBold);
    painter.drawText(kLeftX, 330, QStringLiteral("Daten direkt vom Zähler:"));
    setFont(painter, 8, kNormal);
    painter.drawText(186, 330,
                     QStringLiteral("(bei Protokoll SML / MODBUS-RTU sind die Daten in HEX dargestellt, da Daten binär sind)"));

    QStringList lines = input.resultForPrint.split(QStringLiteral("\r\n"));
    wrapLines(lines, kReportLineLength);
    setFont(painter, 7, kNormal);

    const QString pageCount = QString::number(reportPageCount(lines.size()));
    int page = 1;
    int y = kFirstDataY;
    int linesOnPage = 0;
    int pageCapacity = kFirstPageLines;
    for (const QString &line : qAsConst(lines)) {
        drawDataLine(painter, y, line);
        y += kDataLineStep;
        if (++linesOnPage < pageCapacity)
            continue;
        // The break follows a full page at once, so a text that fills its
        // last page exactly ends with a page holding only logo and footer.
        drawFooter(painter, input.edition, QString::number(page), pageCount);
        printer->newPage();
        ++page;
        const int logoBottom = drawLogo(painter, input.edition);
        setFont(painter, 7, kNormal);
        // A tall logo (the second reseller's) reaches below the usual first line.
        y = std::max(kLaterDataY, logoBottom + kDataLineStep + 1);
        linesOnPage = 0;
        pageCapacity = kLaterPageLines;
    }
    drawFooter(painter, input.edition, QString::number(page), pageCount);
    painter.end();
}

void runReportPreview(const std::function<void(QPrinter *)> &paint)
{
    QPrinter printer(QPrinter::ScreenResolution);
    setUpReportPrinter(printer);
    QPrintPreviewDialog preview(&printer);
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview, paint);
    preview.setWindowTitle(QStringLiteral("Bericht drucken"));
    preview.resize(900, 900);
    preview.exec();
}
