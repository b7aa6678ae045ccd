// The main window with real widgets, offscreen, and the adapter detection
// beneath it. Data rows: testdata/app/window.json.
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>

#include "app/infodialog.h"
#include "app/qttranslations.h"
#include "tests/common/windowundertest.h"

extern "C" void FakeD2xx_Set(const char *scenario);
extern "C" int FakeD2xx_ListCalls();

namespace {

// The row's fake D2XX library ("full", "partial", or none when not given) and
// the fake sysfs tree in testdata/app/sysfs when the row asks for it.
std::unique_ptr<FtdiDeviceSource> systemSource(const QJsonObject &row)
{
    FakeD2xx_Set(qPrintable(row["d2xx"].toString("0;0")));
    return makeSystemFtdiSource(FAKE_D2XX_ROOT "/d2xx-" + row["library"].toString(),
                                QString(VIVIV_TESTDATA "/app/sysfs") + (row["sysfs"].toBool() ? "" : "-none"));
}

// The value grid: the labels given as {"L_180_Value": "1234.50000"} in blue, all others "0.00" in black.
void expectGrid(const WindowUnderTest &t, const QJsonObject &shown)
{
    const auto labels = t.window->findChildren<QLabel *>(QRegularExpression("^L_\\d+_Value$"));
    QCOMPARE(labels.size(), 20);
    for (QLabel *value : labels) {
        const QString name = value->objectName(), colour = shown.contains(name) ? "0, 0, 255" : "0, 0, 0";
        QCOMPARE(name + '=' + value->text() + value->styleSheet() + t.get<QLabel>(name.chopped(6))->styleSheet(),
                 name + '=' + shown[name].toString("0.00") + QString("color: rgb(%1);").arg(colour).repeated(2));
    }
}

QtMessageHandler previousHandler = nullptr;
bool unboundSlot = false; // a misnamed widget silently unbinds its slot when the form is built

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QApplication::setFont(QFont("Sans Serif", 9)); // a desktop's, not the offscreen platform's 12 points
        QVERIFY(installQtTranslations(*qApp));
        previousHandler = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &c, const QString &m) {
            unboundSlot |= m.contains("No matching signal");
            previousHandler(type, c, m);
        });
    }
    void cleanupTestCase() { QVERIFY(!unboundSlot); }
    void detection_data() { addJsonRows("app/window.json", __func__); }
    void detection();
    void session_data() { addJsonRows("app/window.json", __func__); }
    void session();
    void editions_data() { addJsonRows("app/window.json", __func__); }
    void editions();
    // Qt's standard buttons speak German like the program.
    void standardButtons()
    {
        const Infodialog dialog;
        QCOMPARE(dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel)->text(), QString("Abbrechen"));
    }
};

void TestWindow::detection()
{
    QFETCH(QJsonObject, row);
    auto source = systemSource(row);
    QCOMPARE(QStringList({"none", "library", "system"}).value(int(source->open())), row["source"].toString());
    FtdiDeviceList devices;
    QCOMPARE(readFtdiDeviceList(*source, devices) == FtdiListResult::Read, row["read"].toBool());
    QStringList listed;
    for (const FtdiDeviceEntry &device : devices)
        listed << device.Description + '|' + device.SerialNumber;
    QCOMPARE(listed, strings(row["devices"]));
    QCOMPARE(FakeD2xx_ListCalls(), row["passes"].toInt());
}

// The port list as built, then the row's steps as the user and the worker take
// them: a port chosen, a slot run, fields set, a record, result or log line of
// the worker. Then what went to the worker, what the user was asked and what
// the controls show. The window keeps the form's size all the while, and the
// input row stands in line with "Status:" and the log.
void TestWindow::session()
{
    QFETCH(QJsonObject, row);
    WindowUnderTest t(row, systemSource(row));
    t.window->show();
    auto *combo = t.get<QComboBox>("C_Port");
    QStringList listed;
    for (int i = 0; i < combo->count(); ++i)
        listed << combo->itemText(i);
    QCOMPARE(listed, strings(row["items"]));
    QCOMPARE(FakeD2xx_ListCalls(), row["passes"].toInt()); // once per rebuild, not per FTDI port
    QSignalSpy start(t.window, &MainWindow::signalStartTest), headTest(t.window, &MainWindow::signalLesekopfStartTest);
    QJsonArray steps = row["steps"].toArray();
    steps.prepend(QJsonValue()); // none: the window as it opens
    for (const QJsonValue &step : qAsConst(steps)) {
        const QJsonObject worker = step.toObject(), fields = worker["set"].toObject();
        const QStringList result = strings(worker["result"]);
        for (auto field = fields.begin(); field != fields.end(); ++field)
            t.get(field.key().section('.', 0, 0))->setProperty(qPrintable(field.key().section('.', 1)), field->toVariant());
        if (worker.contains("record"))
            t.invoke("slotUpdateParserErgebnis", Q_ARG(meter_result_t, meterRecord(worker["record"].toObject())));
        else if (worker.contains("result"))
            t.invoke("slotUpdateErgebnis", Q_ARG(QString, result[0]), Q_ARG(QString, result[1]), Q_ARG(QString, result[2]));
        else if (worker.contains("log"))
            t.invoke("slotUpdateStatusText", Q_ARG(QString, worker["log"].toString()), Q_ARG(QColor, Qt::black));
        else if (step.toString().startsWith("on_") || step.toString().startsWith("slot"))
            t.invoke(qPrintable(step.toString()));
        else if (step.isString())
            combo->findText(step.toString()) < 0 ? t.invoke("on_C_Port_currentIndexChanged", Q_ARG(QString, step.toString()))
                                                 : combo->setCurrentText(step.toString());
        QTest::qWait(50); // the layout answers at once, the port list a little later
        QCOMPARE(t.window->size(), QSize(992, 738));
    }
    QStringList sent; // text, test mode, accessory
    for (const QList<QVariant> &args : start)
        sent << QStringList{args[0].toString(), QString::number(args[1].toInt()), QString::number(args[2].toInt())}.join(' ');
    QCOMPARE(sent + QVector<QString>(headTest.size(), "Lesekopftest").toList(), strings(row["sent"]));
    QCOMPARE(t.answer.seen, strings(row["seen"]));
    t.expect(row["expect"]);
    if (row.contains("grid"))
        expectGrid(t, row["grid"].toObject());
    QVERIFY(combo->width() < 200); // room for about ten characters: a longer name is elided
    for (const char *name : {"labelMeterNumber", "labelTestauswahl", "T_Status"})
        if (t.get<QWidget>(name)->isVisible())
            QCOMPARE(t.get<QWidget>(name)->x(), t.get<QWidget>("L_Status")->x());
}

void TestWindow::editions()
{
    QFETCH(QJsonObject, row);
    WindowUnderTest t(row, systemSource(row));
    t.expect(row["expect"]);
    for (const QString side : {"1", "2"}) {
        const QImage shown = t.get<QLabel>("labelLogo" + side)->pixmap(Qt::ReturnByValue).toImage();
        const QImage wanted(":/Logo" + side + row["logos"].toString() + ".png");
        QVERIFY(!wanted.isNull());
        QCOMPARE(shown, wanted.convertToFormat(shown.format()));
    }
    QCOMPARE(t.get<QMenu>("menuExtras")->menuAction()->isVisible(), t.get("actionErgebnis_senden")->property("visible").toBool());
    QVERIFY(QMetaObject::invokeMethod(t.get("toolButtonHelp"), "click"));
    delete std::exchange(t.window, nullptr);
    QCOMPARE(t.answer.seen, strings(row["seen"]));
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
