// The window's report actions: what they take from the real form.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "mainwindow.h"
#include "modalresponder.h"
#include "pdfpages.h"
#include "testreport.h"

Q_DECLARE_METATYPE(QList<meter_result_t>)

namespace {

// The values line with the given fields set and all others at the form's "0.00".
QString valuesLine(const QMap<int, QString> &set)
{
    QStringList fields;
    for (int i = 0; i < 20; ++i)
        fields << set.value(i, QStringLiteral("0.00"));
    return fields.join(QLatin1Char('\t'));
}

meter_result_t record(std::initializer_list<std::pair<double meter_result_t::*, bool meter_result_t::*>> fields,
                      double value)
{
    meter_result_t r{};
    for (const auto &f : fields) {
        r.*f.first = value;
        r.*f.second = true;
    }
    return r;
}

// Delivers what the worker would send during a run.
void deliverRun(MainWindow *w, const QList<meter_result_t> &records, const QStringList &logLines)
{
    for (const QString &line : logLines)
        QMetaObject::invokeMethod(w, "slotUpdateStatusText", Q_ARG(QString, line), Q_ARG(QColor, QColor(Qt::black)));
    for (const meter_result_t &r : records)
        QMetaObject::invokeMethod(w, "slotUpdateParserErgebnis", Q_ARG(meter_result_t, r));
}

} // namespace

class WindowReportsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerMeterMetaTypes(); }
    void copiesWhatIsShown_data();
    void copiesWhatIsShown();
    void printsWhatIsShown();
};

void WindowReportsTest::copiesWhatIsShown_data()
{
    QTest::addColumn<QList<meter_result_t>>("records");
    QTest::addColumn<QStringList>("logLines");
    QTest::addColumn<QString>("values");
    QTest::addColumn<QString>("log");

    QTest::newRow("before any run") << QList<meter_result_t>{} << QStringList{} << valuesLine({}) << QString();
    QTest::newRow("energies only")
        << QList<meter_result_t>{record({{&meter_result_t::Value_180, &meter_result_t::Valid_180},
                                         {&meter_result_t::Value_282, &meter_result_t::Valid_282}},
                                        1234.5)}
        << QStringList{QStringLiteral("IR_Test01"), QStringLiteral("1B1B1B1B01010101")}
        << valuesLine({{0, "1234.50000"}, {5, "1234.50000"}})
        << QStringLiteral("IR_Test01\n1B1B1B1B01010101");
}

void WindowReportsTest::copiesWhatIsShown()
{
    QFETCH(QList<meter_result_t>, records);
    QFETCH(QStringList, logLines);
    QFETCH(QString, values);
    QFETCH(QString, log);
    ModalResponder closer({}); // whatever start-up or the exit shows
    auto *w = new MainWindow();
    deliverRun(w, records, logLines);
    QClipboard *clipboard = QGuiApplication::clipboard();

    clipboard->setText(QStringLiteral("vorher"));
    w->findChild<QPushButton *>(QStringLiteral("pushButtonCopyValues"))->click();
    QCOMPARE(clipboard->text(), values);
    QCOMPARE(clipboard->text().count(QLatin1Char('\t')), 19);

    clipboard->setText(QStringLiteral("vorher"));
    w->findChild<QAction *>(QStringLiteral("M_Text_kopieren"))->trigger();
    QCOMPARE(clipboard->text(), log);
    delete w;
}

void WindowReportsTest::printsWhatIsShown()
{
    ModalResponder closer({});
    auto *w = new MainWindow();
    deliverRun(w, {record({{&meter_result_t::Value_3270, &meter_result_t::Valid_3270}}, 230.1)}, {});
    QMetaObject::invokeMethod(w, "slotUpdateErgebnis", Q_ARG(QString, QStringLiteral("erfolgreich")),
                              Q_ARG(QString, QStringLiteral("SML")), Q_ARG(QString, QStringLiteral("9600 8N1")));
    QMetaObject::invokeMethod(w, "slotUpdateResultForPrint", Q_ARG(QString, QStringLiteral("1B1B1B1B\r\n76050102")));

    QTemporaryDir dir;
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(QStringLiteral("window.pdf")));
    setUpReportPrinter(printer);
    QMetaObject::invokeMethod(w, "print", Q_ARG(QPrinter *, &printer));
    // The menu action shows the preview, which paints through the same slot.
    w->findChild<QAction *>(QStringLiteral("actionDrucken"))->trigger();
    QCOMPARE(closer.otherDialogTitles.value(0), QStringLiteral("Bericht drucken"));
    delete w;

    const QString text = pdfPageText(printer.outputFileName(), 1);
    QVERIFY2(text.contains(QRegularExpression(QStringLiteral("Protokoll:\\s+SML"))), qPrintable(text));
    QVERIFY(text.contains(QRegularExpression(QStringLiteral("32.7.0 Spannung Phase 1:\\s+230.10 V"))));
    QVERIFY(text.contains(QRegularExpression(QStringLiteral("1.8.0 Bezug Gesamt:\\s+0.00 kWh"))));
    QVERIFY(text.contains(QStringLiteral("1B1B1B1B\n76050102")));
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    WindowReportsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowreports.moc"
