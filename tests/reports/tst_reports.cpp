// Clipboard texts, the printed report read back from PDF, and the result
// upload against the real report server. Data rows: testdata/reports/reports.json.
#include <QAction>
#include <QClipboard>
#include <QLineEdit>
#include <QPrinter>

#include <csignal>

#include "engine/programversion.h"
#include "reports/edition.h"
#include "reports/resultupload.h"
#include "reports/senddialog.h"
#include "reports/testreport.h"
#include "reportserver/reportdatabase.h"
#include "tests/common/windowundertest.h"

namespace {

// Prints through paint into a PDF and reads it back, page by page: "Seite i
// von n" and the row's patterns for the page ("page1", ...; a leading "!":
// must not match). Then the page as poppler lays it out: all in Liberation
// Sans (Arial's metrics, for which the page is made), no box of text or logo
// overlapping another, every text inside the right margin, as wide as the left,
// and texts of one size that share a line on one baseline.
void checkPrinted(const QJsonObject &row, const std::function<void(QPrinter *)> &paint)
{
    QTemporaryDir dir;
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("report.pdf"));
    setUpReportPrinter(printer);
    paint(&printer);
    const QStringList texts = runTool("pdftotext", {"-layout", dir.filePath("report.pdf"), "-"}).split('\f');
    const int pages = texts.size() - 1; // each page ends with a form feed
    QCOMPARE(pages, row["pages"].toInt(1));
    for (int page = 1; page <= pages; ++page) {
        QVERIFY2(texts[page - 1].contains(QString("Seite %1 von %2").arg(page).arg(pages)), qPrintable(texts[page - 1]));
        for (const QString &pattern : strings(row["page" + QString::number(page)]))
            QVERIFY2(texts[page - 1].contains(QRegularExpression(pattern.mid(pattern.startsWith('!')), QRegularExpression::MultilineOption))
                         != pattern.startsWith('!'),
                     qPrintable(pattern + "\n" + texts[page - 1]));
    }
    runTool("pdftohtml", {"-xml", "-zoom", "1", printer.outputFileName(), dir.filePath("boxes")});
    QFile file(dir.filePath("boxes.xml"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString xml = QString::fromUtf8(file.readAll());
    for (auto it = QRegularExpression("family=\"([^\"]*)\"").globalMatch(xml); it.hasNext();)
        QCOMPARE(it.next().captured(1), QString("LiberationSans"));
    const QRegularExpression box("<(text|image) top=\"(\\d+)\" left=\"(\\d+)\" width=\"(\\d+)\" height=\"(\\d+)\"[^>]*>(?:<b>)?([^<]{0,30})");
    for (const QString &page : xml.split("<page ").mid(1)) {
        QVector<QRect> boxes;
        for (auto it = box.globalMatch(page); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            const QRect r(m.captured(3).toInt(), m.captured(2).toInt(), m.captured(4).toInt(), m.captured(5).toInt());
            QVERIFY2(m.captured(1) == "image" || r.right() < 595 - 41, qPrintable(m.captured(6)));
            for (const QRect &other : qAsConst(boxes)) {
                QVERIFY2(!r.intersects(other), qPrintable(m.captured(0)));
                const bool sameLine = other.height() == r.height() && std::abs(other.top() - r.top()) < r.height();
                QVERIFY2(!sameLine || other.top() == r.top(), qPrintable(m.captured(0)));
            }
            boxes << r;
        }
    }
}

} // namespace

class ReportsTest : public QObject
{
    Q_OBJECT

private slots:
    void printedReport_data() { addJsonRows("reports/reports.json", __func__); }
    void printedReport();
    void windowReports_data() { addJsonRows("reports/reports.json", __func__); }
    void windowReports();
    void upload_data() { addJsonRows("reports/reports.json", __func__); }
    void upload();
    void readmeEditions();
};

void ReportsTest::printedReport()
{
    QFETCH(QJsonObject, row);
    ReportInput input; // the displayed texts by field: {"180": "900.00000", ...}
    const QJsonObject values = row["values"].toObject();
    for (std::size_t i = 0; i < kMeterFieldCount; ++i)
        if (values.contains(kMeterFields[i].name))
            input.values[i] = values[kMeterFields[i].name].toString();
    input.protocol = row["protocol"].toString();
    input.edition = row["edition"].toInt();
    input.resultForPrint = row["data"].toString();
    checkPrinted(row, [&input](QPrinter *printer) { TestReport(input, QDate(2024, 3, 5)).paint(printer); });
}

// What the window's clipboard and print actions take from the form.
void ReportsTest::windowReports()
{
    QFETCH(QJsonObject, row);
    WindowUnderTest t(row, std::make_shared<FixedFtdiSource>(FtdiDeviceList()));
    for (const QString &line : strings(row["log"]))
        t.invoke("slotUpdateStatusText", Q_ARG(QString, line), Q_ARG(QColor, Qt::black));
    for (const QJsonValue &record : row["records"].toArray())
        t.invoke("slotUpdateParserErgebnis", Q_ARG(meter_result_t, meterRecord(record.toObject())));
    if (row.contains("protocol"))
        t.invoke("slotUpdateErgebnis", Q_ARG(QString, "erfolgreich"), Q_ARG(QString, row["protocol"].toString()),
                 Q_ARG(QString, "9600 8N1"));
    t.invoke("slotUpdateResultForPrint", Q_ARG(QString, row["data"].toString()));
    QStringList copied;
    for (const char *control : {"pushButtonCopyValues", "M_Text_kopieren"}) {
        QGuiApplication::clipboard()->setText("vorher");
        QVERIFY(QMetaObject::invokeMethod(t.get(control), qobject_cast<QAction *>(t.get(control)) ? "trigger" : "click"));
        copied << QGuiApplication::clipboard()->text();
    }
    QCOMPARE(copied, strings(row["copied"]));
    checkPrinted(row, [&t](QPrinter *printer) { t.invoke("print", Q_ARG(QPrinter *, printer)); });
    QVERIFY(QMetaObject::invokeMethod(t.get("actionDrucken"), "trigger")); // the preview paints through the same slot
    QCOMPARE(t.answer.seen, strings(row["seen"]));
}

void ReportsTest::upload()
{
    QFETCH(QJsonObject, row);
    LocalServer server;
    QVERIFY(server.start(REPORTSERVER_PATH, strings(row["server"])));
    if (row["state"] == "hung") // stopped, it keeps its socket open but never answers
        ::kill(pid_t(server.process.processId()), SIGSTOP);
    if (row["state"] == "gone")
        server.process.kill(), server.process.waitForFinished();
    // Each answer fills the send dialog: manufacturer, model (null: as the
    // dialog came up), send or cancel. What each dialog came up with is noted.
    QJsonArray answers = row["answers"].toArray();
    QJsonArray cameUpWith;
    ModalAnswer answer(ModalAnswer::Accept, [&answers, &cameUpWith](QDialog *d) {
        const QJsonArray a = answers.isEmpty() ? QJsonArray{"", "", false} : answers.takeAt(0).toArray();
        auto *manufacturer = d->findChild<QLineEdit *>("lineEditHersteller");
        auto *model = d->findChild<QLineEdit *>("lineEditModell");
        cameUpWith.append(QJsonArray{manufacturer->text(), model->text()});
        if (!a[0].isNull())
            manufacturer->setText(a[0].toString()), model->setText(a[1].toString());
        return QMetaObject::invokeMethod(d->findChild<QWidget *>(a[2].toBool() ? "pushButtonSenden" : "pushButtonAbbrechen"),
                                         "click", Qt::QueuedConnection);
    });
    QWidget window;
    ResultUpload upload(&window, "Dededodo");
    upload.server().setServer(kReportServerHost, server.port); // the name the program is built with
    upload.server().setTimeout(row["state"] == "hung" ? 500 : 60000); // a loaded machine answers late
    senddialog *dialog = new senddialog;
    QPointer<senddialog> previous = dialog;
    SendDialogTexts typed; // the window's memory of the last dialog
    for (int run = row["uploads"].toInt(1); run > 0; --run)
        upload.run(dialog, typed, row["log"].toString());
    QVERIFY(!previous); // replaced by this upload's dialog
    if (row.contains("cameUpWith"))
        QCOMPARE(cameUpWith, row["cameUpWith"].toArray());
    QCOMPARE(dialog != nullptr, row["answers"].toArray().last()[2].toBool()); // kept after a confirmed upload
    delete dialog;
    QCOMPARE(answer.seen, strings(row["seen"]));
    DatabaseTarget target;
    target.file = server.database();
    const ReportDatabase db(target);
    const QVector<ReportRow> stored = db.reports(ReportFilter());
    QCOMPARE(stored.size(), row.contains("stored") ? 1 : 0);
    StoredReport report;
    QCOMPARE(db.report(stored.value(0).id, &report) ? report.read.message.toUtf8() : "none",
             row["stored"].toString("none").toUtf8());
}

// The README's edition table, row by code, against the program's own: all but
// the edition's name (column 2), which the program does not know.
void ReportsTest::readmeEditions()
{
    QFile file(VIVIV_TESTDATA "/../README.md");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString section = QString::fromUtf8(file.readAll()).section("\n## Editions\n", 1, 1).section("\n## ", 0, 0);
    const QStringList rows = section.split('\n').filter(QRegularExpression("^\\| `\\d` \\|"));
    QCOMPARE(rows.size(), int(std::size(kEditions)));
    for (std::size_t code = 0; code < std::size(kEditions); ++code) {
        const Edition &e = kEditions[code];
        QStringList cells;
        for (const QString &cell : rows[int(code)].split('|').mid(1, 6))
            cells << cell.trimmed();
        cells.removeAt(1);
        QCOMPARE(cells, (QStringList{QString("`%1`").arg(code), QString::fromUtf8(e.productName) + " Testprogramm",
                                     QString::fromUtf8(e.titlePrefix) + programVersionText(),
                                     e.uploadOffered ? "yes" : "no", e.advertisesAtExit ? "yes" : "no"}));
    }
}

QTEST_MAIN(ReportsTest)
#include "tst_reports.moc"
