// The main window with real widgets, offscreen, and the adapter detection
// beneath it. Data rows: testdata/app/window.json.
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>

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

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void detection_data() { addJsonRows("app/window.json", __func__); }
    void detection();
    void portList_data() { addJsonRows("app/window.json", __func__); }
    void portList();
    void editions_data() { addJsonRows("app/window.json", __func__); }
    void editions();
    void startResets_data() { addJsonRows("app/window.json", __func__); }
    void startResets();
    void display_data() { addJsonRows("app/window.json", __func__); }
    void display();
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

// The list as built, then ports chosen one after the other and what the controls show.
void TestWindow::portList()
{
    QFETCH(QJsonObject, row);
    WindowUnderTest t(row, systemSource(row));
    auto *combo = t.get<QComboBox>("C_Port");
    QStringList listed;
    for (int i = 0; i < combo->count(); ++i)
        listed << combo->itemText(i);
    QCOMPARE(listed, strings(row["items"]));
    QCOMPARE(t.answer.seen, strings(row["seen"]));
    QCOMPARE(FakeD2xx_ListCalls(), row["passes"].toInt()); // once per rebuild, not per FTDI port
    for (const QString &choice : strings(row["choices"])) {
        if (choice == "refresh")
            t.invoke("on_C_Refresh_clicked");
        else if (combo->findText(choice) < 0)
            t.invoke("on_C_Port_currentIndexChanged", Q_ARG(QString, choice));
        else
            combo->setCurrentText(choice);
    }
    t.expect(row["expect"]);
    QSignalSpy spy(t.window, &MainWindow::signalStartTest);
    t.invoke("on_C_Start_clicked");
    QCOMPARE(spy.value(0).value(2).value<enum_interfaces_t>(), row["converter"].toBool() ? MODBUS485_Converter : IR_Head);
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

// Start and the reading-head test after an earlier run: what goes to the
// worker and what is cleared before its first answer.
void TestWindow::startResets()
{
    QFETCH(QJsonObject, row);
    WindowUnderTest t(row, systemSource(row));
    t.get<QComboBox>("C_Port")->setCurrentText(row["port"].toString());
    t.get("comboBoxTestauswahl")->setProperty("currentIndex", row["test"].toInt());
    t.get(row["field"].toString())->setProperty("text", row["typed"].toString());
    // What an earlier run left: values, result line, log.
    t.invoke("slotUpdateParserErgebnis", Q_ARG(meter_result_t, meterRecord(row["earlier"].toObject())));
    t.invoke("slotUpdateErgebnis", Q_ARG(QString, "erfolgreich"), Q_ARG(QString, "SML"), Q_ARG(QString, "9600 8N1"));
    t.invoke("slotUpdateStatusText", Q_ARG(QString, "Empfangen"), Q_ARG(QColor, Qt::black));
    t.invoke("slotTestFinished");

    QSignalSpy start(t.window, &MainWindow::signalStartTest), headTest(t.window, &MainWindow::signalLesekopfStartTest);
    t.invoke(qPrintable(row["click"].toString()));
    QStringList sent;
    for (const QList<QVariant> &args : start)
        sent << args[0].toString() + ' ' + QString::number(args[1].value<TestMode_t>());
    sent += QVector<QString>(headTest.size(), "Lesekopftest").toList();
    QCOMPARE(sent, strings(row["sent"]));
    QCOMPARE(t.answer.seen, strings(row["seen"]));
    t.expect(row["expect"]);
    if (row.contains("grid"))
        expectGrid(t, row["grid"].toObject());
}

// Values and result word as the worker reports them.
void TestWindow::display()
{
    QFETCH(QJsonObject, row);
    WindowUnderTest t(row, systemSource(row));
    t.invoke("on_C_Start_clicked");
    for (const QJsonValue &record : row["records"].toArray())
        t.invoke("slotUpdateParserErgebnis", Q_ARG(meter_result_t, meterRecord(record.toObject())));
    expectGrid(t, row["grid"].toObject());
    t.invoke("slotUpdateErgebnis", Q_ARG(QString, row["result"].toString()), Q_ARG(QString, "OBIS"),
             Q_ARG(QString, "300 7E1"));
    t.expect(row["expect"]);
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
