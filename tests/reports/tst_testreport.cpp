// The printed report, rendered to PDF and read back page by page.
#include <QApplication>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>

#include "pdfpages.h"
#include "testreport.h"

namespace {

QString renderPdf(const QString &dir, const ReportInput &input, QDate date = QDate(2024, 3, 5))
{
    const QString path = dir + QStringLiteral("/report.pdf");
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    setUpReportPrinter(printer);
    TestReport(input, date).paint(&printer);
    return path;
}

QString numberedLines(int count)
{
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines << QStringLiteral("Zeile-%1").arg(i, 3, 10, QLatin1Char('0'));
    return lines.join(QStringLiteral("\r\n"));
}

int expectedPageOfLine(int index)
{
    return index < 50 ? 1 : 2 + (index - 50) / 82;
}

} // namespace

class TestReportTest : public QObject
{
    Q_OBJECT

private slots:
    void wrapsLongLines_data();
    void wrapsLongLines();
    void breaksPages_data();
    void breaksPages();
    void printsHeaderAndValues();
    void printsWrappedHexDump();
    void placesFooterByEdition_data();
    void placesFooterByEdition();

private:
    QTemporaryDir dir;
};

void TestReportTest::wrapsLongLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("expected");
    const QString hex = QString(250, QLatin1Char('A'));
    const QString word59 = QString(59, QLatin1Char('x'));
    QTest::newRow("short line stays") << QStringLiteral("1-0:1.8.0*255(001234.5678*kWh)")
                                      << QStringList{QStringLiteral("1-0:1.8.0*255(001234.5678*kWh)")};
    QTest::newRow("exactly 120 stays") << QString(120, QLatin1Char('B')) << QStringList{QString(120, QLatin1Char('B'))};
    QTest::newRow("hex cut 120/120/10") << hex << QStringList{hex.left(120), hex.mid(120, 120), hex.mid(240)};
    QTest::newRow("greedy at blanks") << (word59 + ' ' + word59 + ' ' + word59)
                                      << QStringList{word59 + ' ' + word59, word59};
    QTest::newRow("long word between short ones")
        << (QStringLiteral("ab ") + QString(130, QLatin1Char('C')) + QStringLiteral(" cd"))
        << QStringList{QStringLiteral("ab"), QString(120, QLatin1Char('C')), QString(10, QLatin1Char('C')) + " cd"};
}

void TestReportTest::wrapsLongLines()
{
    QFETCH(QString, line);
    QFETCH(QStringList, expected);
    QStringList lines{QStringLiteral("before"), line, QStringLiteral("after")};
    wrapLines(lines, 120);
    QCOMPARE(lines, QStringList{QStringLiteral("before")} + expected + QStringList{QStringLiteral("after")});
}

void TestReportTest::breaksPages_data()
{
    QTest::addColumn<int>("lineCount");
    QTest::addColumn<int>("pages");
    QTest::newRow("no data") << 0 << 1;
    QTest::newRow("49 lines") << 49 << 1;
    QTest::newRow("50 lines") << 50 << 2;
    QTest::newRow("131 lines") << 131 << 2;
    QTest::newRow("132 lines") << 132 << 3;
}

void TestReportTest::breaksPages()
{
    QFETCH(int, lineCount);
    QFETCH(int, pages);
    ReportInput input;
    input.resultForPrint = numberedLines(lineCount);
    const QString pdf = renderPdf(dir.path(), input);

    QCOMPARE(pdfPageCount(pdf), pages);
    QStringList pageTexts;
    for (int page = 1; page <= pages; ++page) {
        pageTexts << pdfPageText(pdf, page);
        QVERIFY2(pageTexts.last().contains(QStringLiteral("Seite %1 von %2").arg(page).arg(pages)),
                 qPrintable(pageTexts.last()));
    }
    for (int i = 0; i < lineCount; ++i) {
        const QString line = QStringLiteral("Zeile-%1").arg(i, 3, 10, QLatin1Char('0'));
        for (int page = 1; page <= pages; ++page)
            QVERIFY2(pageTexts[page - 1].contains(line) == (page == expectedPageOfLine(i)),
                     qPrintable(line + QStringLiteral(" on page ") + QString::number(page)));
    }
}

void TestReportTest::printsHeaderAndValues()
{
    ReportInput input;
    for (std::size_t i = 0; i < ValueFieldCount; ++i)
        input.values[i] = QStringLiteral("%1.%2").arg(900 + int(i)).arg(i, 5, 10, QLatin1Char('0'));
    input.protocol = QStringLiteral("OBIS ASCII (IEC 62056-21)");
    input.edition = 0;
    const QString text = pdfPageText(renderPdf(dir.path(), input, QDate(2024, 3, 5)), 1);

    QVERIFY2(text.contains(QStringLiteral("Testbericht - 05.03.2024")), qPrintable(text));
    QVERIFY(text.contains(QRegularExpression(QStringLiteral("Protokoll:\\s+OBIS ASCII \\(IEC 62056-21\\)"))));
    QVERIFY(text.contains(QStringLiteral("Daten direkt vom Zähler:")));
    QVERIFY(text.contains(QStringLiteral("da Daten binär sind)")));
    // Label, value and unit of a row stand on one text line.
    const QStringList rows = {
        QStringLiteral("1.8.0 Bezug Gesamt:\\s+900.00000 kWh"),
        QStringLiteral("2.8.2 Lieferung Tarif 2:\\s+905.00005 kWh"),
        QStringLiteral("51.7.0 Strom Phase 2\\s+918.00018 A"),
        QStringLiteral("1.7.0 Wirkleistung Bezug Gesamt:\\s+906.00006 W"),
        QStringLiteral("2.7.3 Wirkleistung Lieferung Phase 3\\s+913.00013 W"),
        QStringLiteral("72.7.0 Spannung Phase 3:\\s+916.00016 V"),
    };
    for (const QString &row : rows)
        QVERIFY2(text.contains(QRegularExpression(row)), qPrintable(row));
    for (const QString &value : input.values)
        QVERIFY2(text.contains(value), qPrintable(value));
}

void TestReportTest::printsWrappedHexDump()
{
    QString hex;
    for (int i = 0; i < 125; ++i)
        hex += QStringLiteral("%1").arg(i, 2, 16, QLatin1Char('0')).toUpper();
    ReportInput input;
    input.resultForPrint = QStringLiteral("1B1B1B1B\r\n") + hex;
    const QString text = pdfPageText(renderPdf(dir.path(), input), 1);

    QStringList printed;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.size() >= 8 && QRegularExpression(QStringLiteral("^[0-9A-F]+$")).match(trimmed).hasMatch())
            printed << trimmed;
    }
    QCOMPARE(printed, (QStringList{QStringLiteral("1B1B1B1B"), hex.left(120), hex.mid(120, 120), hex.mid(240)}));
}

void TestReportTest::placesFooterByEdition_data()
{
    QTest::addColumn<int>("edition");
    QTest::addColumn<double>("pageTextBaseline");
    QTest::addColumn<QString>("contact");
    QTest::newRow("maker") << 0 << 806.0 << QStringLiteral("Musterstadt");
    QTest::newRow("first reseller") << 1 << 806.0 << QStringLiteral("D-54321");
    QTest::newRow("second reseller") << 2 << 815.0 << QStringLiteral("Internet:");
    QTest::newRow("unknown edition, no contact block") << 5 << 770.0 << QString();
}

void TestReportTest::placesFooterByEdition()
{
    QFETCH(int, edition);
    QFETCH(double, pageTextBaseline);
    QFETCH(QString, contact);
    ReportInput input;
    input.edition = edition;
    const QString pdf = renderPdf(dir.path(), input);

    const QList<double> pageWord = pdfWordBottoms(pdf, 1, QStringLiteral("Seite"));
    QCOMPARE(pageWord.size(), 1);
    // The word box reaches a little below the baseline.
    QVERIFY2(pageWord.first() >= pageTextBaseline && pageWord.first() < pageTextBaseline + 4,
             qPrintable(QString::number(pageWord.first())));
    const QString text = pdfPageText(pdf, 1);
    // Every edition's contact block ends with a web address.
    QCOMPARE(text.contains(QStringLiteral("www.example.")), !contact.isEmpty());
    if (!contact.isEmpty())
        QVERIFY(text.contains(contact));
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestReportTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_testreport.moc"
