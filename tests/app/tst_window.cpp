// The main window with real widgets, offscreen: port list and adapter
// detection, editions, test controls, result display and the dialogs.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

#include "fakeadapters.h"
#include "mainwindow.h"
#include "modalcloser.h"
#include "werbung.h"

namespace {

// A window on simulated ports ("COM5|FTDI|A10ZRV01A") with an edition directory of its own.
class WindowUnderTest
{
public:
    WindowUnderTest(const QStringList &ports, std::shared_ptr<FtdiDeviceSource> source,
                    const QByteArray *edition = nullptr, bool editionIsDirectory = false)
    {
        QFile file(editionDir.path() + "/oem.dat");
        if (editionIsDirectory)
            QDir(editionDir.path()).mkdir("oem.dat");
        else if (edition && file.open(QIODevice::WriteOnly))
            file.write(*edition);
        file.close();
        QList<SerialPortEntry> entries;
        for (const QString &row : ports)
            entries.append({row.section('|', 0, 0), row.section('|', 1, 1), row.section('|', 2, 2)});
        window = new MainWindow({std::make_shared<FixedPortEnumerator>(entries), std::move(source), editionDir.path()});
        // No port is open behind these windows: requests go nowhere.
        QObject::disconnect(window, SIGNAL(signalStartTest(QString, TestMode_t, enum_interfaces_t)), nullptr, nullptr);
        QObject::disconnect(window, SIGNAL(signalLesekopfStartTest()), nullptr, nullptr);
    }
    ~WindowUnderTest() { destroy(); }

    // What the window showed on its way out (the exit dialog of edition 0).
    QList<ModalCloser::Seen> destroy()
    {
        ModalCloser closer(ModalCloser::Reject);
        delete window;
        window = nullptr;
        return closer.seen;
    }

    template<typename T = QWidget>
    T *get(const QString &name) const
    {
        T *w = window->findChild<T *>(name);
        if (!w)
            qFatal("no widget %s", qPrintable(name));
        return w;
    }

    void invoke(const char *slot, QGenericArgument a = {}, QGenericArgument b = {}, QGenericArgument c = {})
    {
        QVERIFY(QMetaObject::invokeMethod(window, slot, Qt::DirectConnection, a, b, c));
    }

    QTemporaryDir editionDir;
    MainWindow *window = nullptr;
};

std::shared_ptr<FtdiDeviceSource> fixedAdapters(const QStringList &rows = {})
{
    FtdiDeviceList devices;
    for (const QString &row : rows)
        devices.append({row.section('|', 0, 0), row.section('|', 1, 1)});
    return std::make_shared<FixedFtdiSource>(devices);
}

const QStringList kTwoFtdiPorts{"COM5|FTDI|A10ZRV01A", "COM6|FTDI|A5XK3RJTA"};
const QStringList kTwoFtdiDevices{"ZORUVARI_485|A10ZRV01", "FT232R USB UART|A5XK3RJT"};
const QString kBlack = "color: rgb(0, 0, 0);";
const QString kBlue = "color: rgb(0, 0, 255);";

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void portList_data();
    void portList();
    void choosingPortSwitchesControls_data();
    void choosingPortSwitchesControls();
    void editions_data();
    void editions();
    void startResetsBeforeFirstAnswer_data();
    void startResetsBeforeFirstAnswer();
    void valueGrid_data();
    void valueGrid();
    void resultWord_data();
    void resultWord();
    void readHeadTestDialog_data();
    void readHeadTestDialog();
    void advertisingDialogCloses();
};

void TestWindow::portList_data()
{
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QString>("library"); // directory of the D2XX library
    QTest::addColumn<int>("blankPasses");
    QTest::addColumn<bool>("sysfs");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("boxes");
    QTest::addColumn<QString>("dllText");
    QTest::addColumn<int>("kind");

    const QString none = QDir::tempPath() + "/viviv-no-such-dir";
    QTest::newRow("manufacturer filter")
        << QStringList{"ttyS0||", "COM3|Silicon Labs|X1", "COM4|Prolific Technology Inc.|P1", "COM5|ftdi|F1",
                       "COM6|Microchip Technology Inc.|M1", "COM7|Silicon Laboratories|S1",
                       "COM8|Microchip Technology, Inc.|M2", "COM9|FTDI |F2"}
        << none << 0 << false << QStringList{"COM3", "COM6", "COM7", "COM8"} << 0 << "" << 0;
    QTest::newRow("library, converter first") << kTwoFtdiPorts << FAKE_D2XX_DIR << 0 << false
                                              << QStringList{"COM5", "COM6"} << 0 << "ftd2xx.dll geladen" << 1;
    QTest::newRow("library, converter still enumerating") << kTwoFtdiPorts << FAKE_D2XX_DIR << 2 << false
                                                          << QStringList{"COM5", "COM6"} << 0
                                                          << "ftd2xx.dll geladen" << 1;
    QTest::newRow("library, first port not FTDI")
        << QStringList{"COM3|Silicon Labs|X1", "COM5|FTDI|A10ZRV01A"} << FAKE_D2XX_DIR << 0 << false
        << QStringList{"COM3", "COM5"} << 0 << "ftd2xx.dll geladen" << 0;
    QTest::newRow("converter serial not in port serial")
        << QStringList{"COM5|FTDI|B77XQ2A"} << FAKE_D2XX_DIR << 0 << false << QStringList{"COM5"} << 0
        << "ftd2xx.dll geladen" << 0;
    QTest::newRow("no library, no sysfs: box per FTDI port") << kTwoFtdiPorts << none << 0 << false
                                                             << QStringList{"COM5", "COM6"} << 2
                                                             << "ftd2xx.dll NICHT geladen" << 0;
    QTest::newRow("incomplete library, no sysfs") << QStringList{"COM5|FTDI|A10ZRV01A"} << FAKE_D2XX_PARTIAL_DIR
                                                  << 0 << false << QStringList{"COM5"} << 1
                                                  << "ftd2xx.dll NICHT geladen" << 0;
    QTest::newRow("no library, sysfs serves silently")
        << kTwoFtdiPorts << none << 0 << true << QStringList{"COM5", "COM6"} << 0 << "" << 1;
}

void TestWindow::portList()
{
    QFETCH(QStringList, ports);
    QFETCH(QString, library);
    QFETCH(int, blankPasses);
    QFETCH(bool, sysfs);
    QFETCH(QStringList, items);
    QFETCH(int, boxes);
    QFETCH(QString, dllText);
    QFETCH(int, kind);

    FakeD2xxControl fake;
    fake.set(kTwoFtdiDevices, blankPasses);
    FakeSysfs tree({"1-1|0403|ZORUVARI_485|A10ZRV01", "1-2|0403|FT232R USB UART|A5XK3RJT"});
    ModalCloser closer;
    WindowUnderTest t(ports, makeSystemFtdiSource(library, sysfs ? tree.root() : QDir::tempPath() + "/viviv-no-such-dir"));

    auto *combo = t.get<QComboBox>("C_Port");
    QStringList listed;
    for (int i = 0; i < combo->count(); ++i)
        listed << combo->itemText(i);
    QCOMPARE(listed, items);
    QCOMPARE(closer.seen.size(), boxes);
    for (const ModalCloser::Seen &box : closer.seen) {
        QCOMPARE(box.text, QStringLiteral("Die Datei ftd2xx.dll wurde nicht gefunden! Bitte prüfen Sie, dass sich "
                                          "die Datei im selben Verzeichnis befindet!"));
        QCOMPARE(box.icon, QMessageBox::Critical);
    }
    QCOMPARE(t.get<QLabel>("L_DllLoad")->text(), dllText);
    QCOMPARE(t.get("T_MeterNumber")->isHidden(), kind == 0);
    QVERIFY(t.get("C_Verbinden")->isEnabled() && t.get("C_Refresh")->isEnabled());
    if (library == FAKE_D2XX_DIR && items.contains("COM5"))
        QCOMPARE(fake.listCalls(), blankPasses + 1); // once per rebuild, not per FTDI port
}

void TestWindow::choosingPortSwitchesControls_data()
{
    QTest::addColumn<QStringList>("choices"); // ports chosen one after the other
    QTest::addColumn<int>("kind");
    QTest::newRow("converter") << QStringList{"COM5"} << 1;
    QTest::newRow("other adapter") << QStringList{"COM5", "COM6"} << 0;
    QTest::newRow("refresh lists the converter first") << QStringList{"COM6", "refresh"} << 1;
    QTest::newRow("port gone") << QStringList{"COM5", "COM9"} << 1;
}

void TestWindow::choosingPortSwitchesControls()
{
    QFETCH(QStringList, choices);
    QFETCH(int, kind);
    WindowUnderTest t(kTwoFtdiPorts, fixedAdapters(kTwoFtdiDevices));
    auto *combo = t.get<QComboBox>("C_Port");
    combo->setCurrentIndex(1);
    for (const QString &choice : choices) {
        if (choice == "refresh")
            t.get<QPushButton>("C_Refresh")->click();
        else if (combo->findText(choice) < 0)
            t.invoke("on_C_Port_currentIndexChanged", Q_ARG(QString, choice));
        else
            combo->setCurrentText(choice);
    }

    const QStringList converterOnly{"labelTest", "labelRS485_Hinweis", "labelMeterNumber", "T_MeterNumber"};
    const QStringList headOnly{"labelTest2",      "C_Lesekopftest", "labelTestauswahl", "comboBoxTestauswahl",
                               "labelPasswort_2", "T_Passwort",     "toolButtonHelp"};
    for (const QString &name : converterOnly)
        QVERIFY2(t.get(name)->isHidden() == (kind == 0), qPrintable(name));
    for (const QString &name : headOnly)
        QVERIFY2(t.get(name)->isHidden() == (kind == 1), qPrintable(name));
    QSignalSpy spy(t.window, &MainWindow::signalStartTest);
    t.invoke("on_C_Start_clicked");
    QCOMPARE(int(spy.value(0).value(2).value<enum_interfaces_t>()), kind);
}

void TestWindow::editions_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("fileKind"); // 0 none, 1 file, 2 directory named oem.dat
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("boxTitle");
    QTest::addColumn<QString>("logos");
    QTest::addColumn<bool>("extras");
    QTest::addColumn<bool>("advertAtExit");

    const QString viviv = "Viviv - Testprogramm v.1.19", dededodo = "Dededodo - Testprogramm v.1.19";
    const QString vivivBox = "Viviv Testprogramm", dededodoBox = "Dededodo Testprogramm";
    QTest::newRow("no file") << QByteArray() << 0 << viviv << vivivBox << "" << true << true;
    QTest::newRow("0") << QByteArray("0") << 1 << viviv << vivivBox << "" << true << true;
    QTest::newRow("1 and line end") << QByteArray("1\r\n") << 1 << dededodo << dededodoBox << "_Ruvev" << false << false;
    QTest::newRow("2") << QByteArray("2") << 1 << dededodo << dededodoBox << "_Rorozo" << false << false;
    QTest::newRow("12") << QByteArray("12") << 1 << dededodo << dededodoBox << "_Ruvev" << false << false;
    QTest::newRow("7") << QByteArray("7") << 1 << "Viviv - Testprogramm" << " Testprogramm" << "" << true << false;
    QTest::newRow("blank first") << QByteArray(" 2") << 1 << viviv << vivivBox << "" << true << true;
    QTest::newRow("letter first") << QByteArray("A1") << 1 << viviv << vivivBox << "" << true << true;
    QTest::newRow("empty") << QByteArray("") << 1 << viviv << vivivBox << "" << true << true;
    QTest::newRow("unreadable") << QByteArray() << 2 << viviv << vivivBox << "" << true << true;
}

void TestWindow::editions()
{
    QFETCH(QByteArray, content);
    QFETCH(int, fileKind);
    QFETCH(QString, title);
    QFETCH(QString, boxTitle);
    QFETCH(QString, logos);
    QFETCH(bool, extras);
    QFETCH(bool, advertAtExit);

    WindowUnderTest t({}, fixedAdapters(), fileKind == 1 ? &content : nullptr, fileKind == 2);
    QCOMPARE(t.window->windowTitle(), title);
    for (const QString side : {"1", "2"}) {
        const QImage shown = t.get<QLabel>("labelLogo" + side)->pixmap(Qt::ReturnByValue).toImage();
        const QImage wanted(":/Logo" + side + logos + ".png");
        QVERIFY(!wanted.isNull());
        QCOMPARE(shown, wanted.convertToFormat(shown.format()));
    }
    QCOMPARE(t.window->findChild<QMenu *>("menuExtras")->menuAction()->isVisible(), extras);
    QCOMPARE(t.get<QAction>("actionErgebnis_senden")->isVisible(), extras);
    {
        ModalCloser closer;
        t.get<QToolButton>("toolButtonHelp")->click();
        QCOMPARE(closer.seen.value(0).title, boxTitle);
    }
    const QList<ModalCloser::Seen> atExit = t.destroy();
    QCOMPARE(atExit.size(), advertAtExit ? 1 : 0);
    if (advertAtExit)
        QCOMPARE(atExit[0].className + ' ' + atExit[0].title, QStringLiteral("werbung Viviv"));
}

void TestWindow::startResetsBeforeFirstAnswer_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("testIndex");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("passwort");
    QTest::addColumn<int>("mode");
    QTest::newRow("read head, test 3, address") << "COM6" << 3 << "42" << "42" << 3;
    QTest::newRow("converter, empty meter number") << "COM5" << 2 << "" << "0" << 0;
    QTest::newRow("converter, meter number") << "COM5" << 4 << "12345678" << "12345678" << 0;
}

void TestWindow::startResetsBeforeFirstAnswer()
{
    QFETCH(QString, port);
    QFETCH(int, testIndex);
    QFETCH(QString, typed);
    QFETCH(QString, passwort);
    QFETCH(int, mode);

    WindowUnderTest t(kTwoFtdiPorts, fixedAdapters(kTwoFtdiDevices));
    t.get<QComboBox>("C_Port")->setCurrentText(port);
    t.get<QComboBox>("comboBoxTestauswahl")->setCurrentIndex(testIndex);
    const QString field = port == "COM5" ? "T_MeterNumber" : "T_Passwort";
    t.get<QLineEdit>(field)->setText(typed);

    // What an earlier run left: values, result line, log.
    meter_result_t earlier = clearedMeterResult();
    for (const MeterField &f : kMeterFields)
        earlier.*f.value = 9.5, earlier.*f.valid = true;
    t.invoke("slotUpdateParserErgebnis", Q_ARG(meter_result_t, earlier));
    t.invoke("slotUpdateErgebnis", Q_ARG(QString, "erfolgreich"), Q_ARG(QString, "SML"), Q_ARG(QString, "9600 8N1"));
    t.invoke("slotUpdateStatusText", Q_ARG(QString, "Empfangen"), Q_ARG(QColor, Qt::black));
    t.invoke("slotTestFinished");

    QSignalSpy spy(t.window, &MainWindow::signalStartTest);
    t.invoke("on_C_Start_clicked");
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy[0][0].toString(), passwort);
    QCOMPARE(int(spy[0][1].value<TestMode_t>()), mode);
    QCOMPARE(t.get<QLineEdit>(field)->text(), passwort);

    const auto grid = t.window->findChildren<QLabel *>(QRegularExpression("^L_\\d+_Value$"));
    QCOMPARE(grid.size(), 20);
    for (QLabel *value : grid) {
        QCOMPARE(value->text() + value->styleSheet(), "0.00" + kBlack);
        QCOMPARE(t.get<QLabel>(value->objectName().chopped(6))->styleSheet(), kBlack);
    }
    for (const char *name : {"L_Ergebnis_Value", "L_Protokoll_Value", "L_Baud_Value"})
        QVERIFY(t.get<QLabel>(name)->text().isEmpty());
    QVERIFY(t.get<QTextEdit>("T_Status")->toPlainText().isEmpty());
    for (const char *name : {"C_Start", "C_Lesekopftest", "C_Verbinden"})
        QVERIFY(!t.get(name)->isEnabled());
    QVERIFY(!t.get<QAction>("actionErgebnis_senden")->isEnabled());
}

void TestWindow::valueGrid_data()
{
    // One string per record, "field=value,..."; shown as "label=text".
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("energy, five decimals") << QStringList{"180=1234.5"} << QStringList{"L_180_Value=1234.50000"};
    QTest::newRow("voltage only") << QStringList{"3270=230.1"} << QStringList{"L_3270_Value=230.10"};
    QTest::newRow("negative power") << QStringList{"270=-5.5"} << QStringList{"L_270_Value=-5.50"};
    QTest::newRow("valid zero is blue") << QStringList{"282=0"} << QStringList{"L_282_Value=0.00000"};
    QTest::newRow("records accumulate") << QStringList{"180=1.5,170=100", "170=200,5170=3.25"}
                                        << QStringList{"L_180_Value=1.50000", "L_170_Value=200.00",
                                                       "L_5170_Value=3.25"};
    QTest::newRow("tariffs 3 and 4 not shown") << QStringList{"183=7,184=8"} << QStringList();
}

void TestWindow::valueGrid()
{
    QFETCH(QStringList, records);
    QFETCH(QStringList, shown);
    WindowUnderTest t({}, fixedAdapters());
    t.invoke("on_C_Start_clicked");
    for (const QString &record : records) {
        meter_result_t r = clearedMeterResult();
        for (const QString &item : record.split(','))
            for (const MeterField &f : kMeterFields)
                if (item.section('=', 0, 0) == QLatin1String(f.name))
                    r.*f.value = item.section('=', 1).toDouble(), r.*f.valid = true;
        t.invoke("slotUpdateParserErgebnis", Q_ARG(meter_result_t, r));
    }

    QMap<QString, QString> expected;
    for (const QString &s : shown)
        expected.insert(s.section('=', 0, 0), s.section('=', 1));
    for (QLabel *value : t.window->findChildren<QLabel *>(QRegularExpression("^L_\\d+_Value$"))) {
        const QString name = value->objectName();
        const QString colour = expected.contains(name) ? kBlue : kBlack;
        QCOMPARE(value->text(), expected.value(name, "0.00"));
        QCOMPARE(value->styleSheet(), colour);
        QCOMPARE(t.get<QLabel>(name.chopped(6))->styleSheet(), colour);
    }
}

void TestWindow::resultWord_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("colour");
    QTest::newRow("success") << "erfolgreich" << "green";
    QTest::newRow("failure") << "nicht erfolgreich" << "red";
    QTest::newRow("capital letter") << "Erfolgreich" << "red";
    QTest::newRow("trailing blank") << "erfolgreich " << "red";
}

void TestWindow::resultWord()
{
    QFETCH(QString, word);
    QFETCH(QString, colour);
    WindowUnderTest t({}, fixedAdapters());
    t.invoke("slotUpdateErgebnis", Q_ARG(QString, word), Q_ARG(QString, "OBIS"), Q_ARG(QString, "300 7E1"));
    QCOMPARE(t.get<QLabel>("L_Ergebnis_Value")->styleSheet(), "QLabel { color : " + colour + "; }");
    QCOMPARE(t.get<QLabel>("L_Ergebnis_Value")->text() + t.get<QLabel>("L_Protokoll_Value")->text()
                 + t.get<QLabel>("L_Baud_Value")->text(),
             word + "OBIS300 7E1");
}

void TestWindow::readHeadTestDialog_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<bool>("started");
    QTest::newRow("accepted") << int(ModalCloser::Accept) << true;
    QTest::newRow("cancelled") << int(ModalCloser::Reject) << false;
    QTest::newRow("window closed") << int(ModalCloser::CloseWindow) << false;
}

void TestWindow::readHeadTestDialog()
{
    QFETCH(int, action);
    QFETCH(bool, started);
    WindowUnderTest t({}, fixedAdapters());
    t.invoke("slotUpdateErgebnis", Q_ARG(QString, "erfolgreich"), Q_ARG(QString, "SML"), Q_ARG(QString, "9600 8N1"));
    QSignalSpy spy(t.window, &MainWindow::signalLesekopfStartTest);
    {
        ModalCloser closer(static_cast<ModalCloser::Action>(action));
        t.invoke("on_C_Lesekopftest_clicked");
        QCOMPARE(closer.seen.size(), 1);
        QCOMPARE(closer.seen[0].className + ' ' + closer.seen[0].title, QStringLiteral("Infodialog Lesekopf testen"));
    }
    QCOMPARE(spy.size(), started ? 1 : 0);
    QVERIFY(t.get<QLabel>("L_Ergebnis_Value")->text().isEmpty());
    // Running: all off until the worker finishes; cancelled: back on at once, upload included.
    for (const char *name : {"C_Start", "C_Lesekopftest", "C_Verbinden"})
        QCOMPARE(t.get(name)->isEnabled(), !started);
    QCOMPARE(t.get<QAction>("actionErgebnis_senden")->isEnabled(), !started);
}

void TestWindow::advertisingDialogCloses()
{
    werbung dialog;
    QCOMPARE(dialog.minimumSize(), QSize(807, 477));
    QCOMPARE(dialog.maximumSize(), QSize(807, 477));
    QTimer::singleShot(0, &dialog, [&dialog] { dialog.findChild<QPushButton *>("pushButtonClose")->click(); });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
