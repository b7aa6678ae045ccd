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

#include "fakesysfs.h"
#include "infodialog.h"
#include "mainwindow.h"
#include "modalcloser.h"
#include "werbung.h"

namespace {

const QString kMissingLibraryText = QStringLiteral(
    "Die Datei ftd2xx.dll wurde nicht gefunden! Bitte prüfen Sie, dass sich die Datei im selben Verzeichnis "
    "befindet!");

// The widgets of each accessory, as setInterfaceMode switches them.
const QStringList kConverterControls{"labelTest", "labelRS485_Hinweis", "labelMeterNumber", "T_MeterNumber"};
const QStringList kReadHeadControls{"labelTest2", "C_Lesekopftest", "labelTestauswahl", "comboBoxTestauswahl",
                                    "labelPasswort_2", "T_Passwort", "toolButtonHelp"};

// "COM5|FTDI|A10ZRV01A" rows: port name, manufacturer, serial number.
QList<SerialPortEntry> portsFrom(const QStringList &rows)
{
    QList<SerialPortEntry> ports;
    for (const QString &row : rows) {
        const QStringList p = row.split(QLatin1Char('|'));
        ports.append({p.value(0), p.value(1), p.value(2)});
    }
    return ports;
}

FtdiDeviceList devicesFrom(const QStringList &rows)
{
    FtdiDeviceList devices;
    for (const QString &row : rows)
        devices.append({row.section(QLatin1Char('|'), 0, 0), row.section(QLatin1Char('|'), 1, 1)});
    return devices;
}

// A window on simulated ports with its own edition directory.
class WindowUnderTest
{
public:
    WindowUnderTest(const QStringList &ports, std::shared_ptr<FtdiDeviceSource> source,
                    const QByteArray *edition = nullptr, bool editionIsDirectory = false)
    {
        if (editionIsDirectory)
            QDir(editionDir.path()).mkdir(QStringLiteral("oem.dat"));
        else if (edition) {
            QFile file(editionDir.path() + QStringLiteral("/oem.dat"));
            if (file.open(QIODevice::WriteOnly))
                file.write(*edition);
        }
        WindowEnvironment env{std::make_shared<FixedPortEnumerator>(portsFrom(ports)), std::move(source),
                              editionDir.path()};
        window = new MainWindow(env);
        // Requests go nowhere: no port is open behind these windows.
        QObject::disconnect(window, SIGNAL(signalStartTest(QString, TestMode_t, enum_interfaces_t)), nullptr,
                            nullptr);
        QObject::disconnect(window, SIGNAL(signalLesekopfStartTest()), nullptr, nullptr);
    }
    ~WindowUnderTest() { destroy(); }

    // Returns what the window showed on its way out (the exit dialog of edition 0).
    QList<ModalCloser::Seen> destroy()
    {
        ModalCloser closer(ModalCloser::Reject);
        delete window;
        window = nullptr;
        return closer.seen;
    }

    template<typename T = QWidget>
    T *get(const char *name) const
    {
        T *w = window->findChild<T *>(QLatin1String(name));
        if (!w)
            qFatal("no widget %s", name);
        return w;
    }

    QString messageTitle()
    {
        ModalCloser closer;
        get<QToolButton>("toolButtonHelp")->click();
        return closer.seen.value(0).title;
    }

    bool invoke(const char *slot, QGenericArgument a = QGenericArgument(), QGenericArgument b = QGenericArgument(),
                QGenericArgument c = QGenericArgument())
    {
        return QMetaObject::invokeMethod(window, slot, Qt::DirectConnection, a, b, c);
    }

    QTemporaryDir editionDir;
    MainWindow *window = nullptr;
};

std::shared_ptr<FtdiDeviceSource> noAdapters()
{
    return std::make_shared<FixedFtdiSource>(FtdiDeviceList());
}

const QStringList kTwoFtdiPorts{"COM5|FTDI|A10ZRV01A", "COM6|FTDI|A5XK3RJTA"};
const QStringList kTwoFtdiDevices{"ZORUVARI_485|A10ZRV01", "FT232R USB UART|A5XK3RJT"};

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
    void helpForAddress();
    void advertisingDialog();
};

void TestWindow::portList_data()
{
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QString>("library"); // full, partial or none
    QTest::addColumn<QStringList>("libraryDevices");
    QTest::addColumn<int>("blankPasses");
    QTest::addColumn<QStringList>("sysfsDevices"); // empty: no sysfs tree
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("boxes");
    QTest::addColumn<QString>("dllText");
    QTest::addColumn<int>("kind");

    QTest::newRow("manufacturer filter")
        << QStringList{"ttyS0||", "COM3|Silicon Labs|X1", "COM4|Prolific Technology Inc.|P1", "COM5|ftdi|F1",
                       "COM6|Microchip Technology Inc.|M1", "COM7|Silicon Laboratories|S1",
                       "COM8|Microchip Technology, Inc.|M2", "COM9|FTDI |F2"}
        << "none" << QStringList() << 0 << QStringList() << QStringList{"COM3", "COM6", "COM7", "COM8"} << 0
        << "" << 0;
    QTest::newRow("library, converter listed first")
        << kTwoFtdiPorts << "full" << kTwoFtdiDevices << 0 << QStringList() << QStringList{"COM5", "COM6"} << 0
        << "ftd2xx.dll geladen" << 1;
    QTest::newRow("library, converter still enumerating")
        << kTwoFtdiPorts << "full" << kTwoFtdiDevices << 2 << QStringList() << QStringList{"COM5", "COM6"} << 0
        << "ftd2xx.dll geladen" << 1;
    QTest::newRow("library, first port not FTDI")
        << QStringList{"COM3|Silicon Labs|X1", "COM5|FTDI|A10ZRV01A"} << "full" << kTwoFtdiDevices << 0
        << QStringList() << QStringList{"COM3", "COM5"} << 0 << "ftd2xx.dll geladen" << 0;
    QTest::newRow("no library, no sysfs: box per FTDI port")
        << kTwoFtdiPorts << "none" << QStringList() << 0 << QStringList() << QStringList{"COM5", "COM6"} << 2
        << "ftd2xx.dll NICHT geladen" << 0;
    QTest::newRow("incomplete library, no sysfs")
        << QStringList{"COM5|FTDI|A10ZRV01A"} << "partial" << QStringList() << 0 << QStringList()
        << QStringList{"COM5"} << 1 << "ftd2xx.dll NICHT geladen" << 0;
    QTest::newRow("no library, sysfs serves")
        << kTwoFtdiPorts << "none" << QStringList() << 0 << kTwoFtdiDevices << QStringList{"COM5", "COM6"} << 0
        << "" << 1;
    QTest::newRow("sysfs, converter serial not in port serial")
        << QStringList{"COM5|FTDI|B77XQ2A"} << "none" << QStringList() << 0 << kTwoFtdiDevices
        << QStringList{"COM5"} << 0 << "" << 0;
}

void TestWindow::portList()
{
    QFETCH(QStringList, ports);
    QFETCH(QString, library);
    QFETCH(QStringList, libraryDevices);
    QFETCH(int, blankPasses);
    QFETCH(QStringList, sysfsDevices);
    QFETCH(QStringList, items);
    QFETCH(int, boxes);
    QFETCH(QString, dllText);
    QFETCH(int, kind);

    FakeD2xxControl fake(QStringLiteral(FAKE_D2XX_DIR));
    QList<QPair<QByteArray, QByteArray>> devices;
    for (const FtdiDeviceEntry &d : devicesFrom(libraryDevices))
        devices.append({d.Description.toUtf8(), d.SerialNumber.toUtf8()});
    fake.set(devices, blankPasses);

    FakeSysfs sysfs;
    int n = 0;
    for (const FtdiDeviceEntry &d : devicesFrom(sysfsDevices))
        sysfs.addDevice(QStringLiteral("1-%1").arg(++n), "0403", d.Description.toUtf8(), d.SerialNumber.toUtf8());
    const QString libraryDir = library == "full"      ? QStringLiteral(FAKE_D2XX_DIR)
                               : library == "partial" ? QStringLiteral(FAKE_D2XX_PARTIAL_DIR)
                                                      : sysfs.root() + "/no-library-here";
    const QString sysfsRoot = sysfsDevices.isEmpty() ? sysfs.root() + "/no-sysfs-here" : sysfs.root();

    ModalCloser closer;
    WindowUnderTest t(ports, makeSystemFtdiSource(libraryDir, sysfsRoot));

    auto *combo = t.get<QComboBox>("C_Port");
    QStringList listed;
    for (int i = 0; i < combo->count(); ++i)
        listed << combo->itemText(i);
    QCOMPARE(listed, items);
    QCOMPARE(closer.seen.size(), boxes);
    for (const ModalCloser::Seen &box : closer.seen) {
        QCOMPARE(box.text, kMissingLibraryText);
        QCOMPARE(box.icon, QMessageBox::Critical);
    }
    QCOMPARE(t.get<QLabel>("L_DllLoad")->text(), dllText);
    QCOMPARE(t.get("T_MeterNumber")->isHidden(), kind == 0);
    QCOMPARE(t.get("C_Lesekopftest")->isHidden(), kind == 1);
    QVERIFY(t.get<QPushButton>("C_Verbinden")->isEnabled());
    QVERIFY(t.get<QPushButton>("C_Refresh")->isEnabled());
    if (library == "full" && !libraryDevices.isEmpty())
        QCOMPARE(fake.listCalls(), blankPasses + 1); // read once per rebuild, not once per port
}

void TestWindow::choosingPortSwitchesControls_data()
{
    QTest::addColumn<QStringList>("choices"); // ports chosen one after the other
    QTest::addColumn<int>("kind");
    QTest::newRow("converter") << QStringList{"COM5"} << 1;
    QTest::newRow("other adapter") << QStringList{"COM6"} << 0;
    QTest::newRow("back to the converter") << QStringList{"COM6", "COM5"} << 1;
    QTest::newRow("refresh returns to the read head") << QStringList{"COM5", "refresh"} << 1;
}

void TestWindow::choosingPortSwitchesControls()
{
    QFETCH(QStringList, choices);
    QFETCH(int, kind);
    WindowUnderTest t(kTwoFtdiPorts, std::make_shared<FixedFtdiSource>(devicesFrom(kTwoFtdiDevices)));
    auto *combo = t.get<QComboBox>("C_Port");
    combo->setCurrentIndex(1); // start away from the converter
    for (const QString &choice : choices) {
        if (choice == "refresh")
            t.get<QPushButton>("C_Refresh")->click(); // lists COM5 first again: the converter
        else
            combo->setCurrentText(choice);
    }

    for (const QString &name : kConverterControls)
        QVERIFY2(t.get(name.toLatin1().constData())->isHidden() == (kind == 0), qPrintable(name));
    for (const QString &name : kReadHeadControls)
        QVERIFY2(t.get(name.toLatin1().constData())->isHidden() == (kind == 1), qPrintable(name));

    // The kind travels with the start request.
    QSignalSpy spy(t.window, &MainWindow::signalStartTest);
    t.invoke("on_C_Start_clicked");
    QCOMPARE(spy.size(), 1);
    QCOMPARE(int(spy.at(0).at(2).value<enum_interfaces_t>()), kind);
}

void TestWindow::editions_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("fileKind"); // 0 none, 1 file, 2 directory named oem.dat
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("messageTitle");
    QTest::addColumn<QString>("logos");
    QTest::addColumn<bool>("extras");
    QTest::addColumn<bool>("advertAtExit");

    const QString viviv = "Viviv - Testprogramm v.1.19";
    const QString dededodo = "Dededodo - Testprogramm v.1.19";
    QTest::newRow("no file") << QByteArray() << 0 << viviv << "Viviv Testprogramm" << "" << true << true;
    QTest::newRow("0") << QByteArray("0") << 1 << viviv << "Viviv Testprogramm" << "" << true << true;
    QTest::newRow("1 with line end") << QByteArray("1\r\n") << 1 << dededodo << "Dededodo Testprogramm" << "_Ruvev"
                                     << false << false;
    QTest::newRow("2") << QByteArray("2") << 1 << dededodo << "Dededodo Testprogramm" << "_Rorozo" << false
                       << false;
    QTest::newRow("12 reads the first digit") << QByteArray("12") << 1 << dededodo << "Dededodo Testprogramm"
                                              << "_Ruvev" << false << false;
    QTest::newRow("7 selects no branding")
        << QByteArray("7") << 1 << "Viviv - Testprogramm" << " Testprogramm" << "" << true << false;
    QTest::newRow("blank first") << QByteArray(" 2") << 1 << viviv << "Viviv Testprogramm" << "" << true << true;
    QTest::newRow("letter first") << QByteArray("A1") << 1 << viviv << "Viviv Testprogramm" << "" << true << true;
    QTest::newRow("empty file") << QByteArray("") << 1 << viviv << "Viviv Testprogramm" << "" << true << true;
    QTest::newRow("unreadable") << QByteArray() << 2 << viviv << "Viviv Testprogramm" << "" << true << true;
}

void TestWindow::editions()
{
    QFETCH(QByteArray, content);
    QFETCH(int, fileKind);
    QFETCH(QString, title);
    QFETCH(QString, messageTitle);
    QFETCH(QString, logos);
    QFETCH(bool, extras);
    QFETCH(bool, advertAtExit);

    WindowUnderTest t({}, noAdapters(), fileKind == 1 ? &content : nullptr, fileKind == 2);
    QCOMPARE(t.window->windowTitle(), title);
    QCOMPARE(t.messageTitle(), messageTitle);
    for (const char *side : {"1", "2"}) {
        const QImage shown = t.get<QLabel>(qPrintable(QStringLiteral("labelLogo") + side))
                                 ->pixmap(Qt::ReturnByValue).toImage();
        const QImage wanted(QStringLiteral(":/Logo%1%2.png").arg(side, logos));
        QVERIFY(!wanted.isNull());
        QCOMPARE(shown, wanted.convertToFormat(shown.format()));
    }
    QCOMPARE(t.window->findChild<QMenu *>("menuExtras")->menuAction()->isVisible(), extras);
    QCOMPARE(t.get<QAction>("actionErgebnis_senden")->isVisible(), extras);

    const QList<ModalCloser::Seen> atExit = t.destroy();
    QCOMPARE(atExit.size(), advertAtExit ? 1 : 0);
    if (advertAtExit) {
        QCOMPARE(atExit.at(0).className, QStringLiteral("werbung"));
        QCOMPARE(atExit.at(0).title, QStringLiteral("Viviv"));
    }
}

void TestWindow::startResetsBeforeFirstAnswer_data()
{
    QTest::addColumn<bool>("converter");
    QTest::addColumn<int>("testIndex");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("passwort");
    QTest::addColumn<int>("mode");
    QTest::newRow("read head, test 3, address") << false << 3 << "42" << "42" << 3;
    QTest::newRow("read head, all tests") << false << 0 << "" << "" << 0;
    QTest::newRow("converter, empty meter number") << true << 2 << "" << "0" << 0;
    QTest::newRow("converter, meter number") << true << 4 << "12345678" << "12345678" << 0;
}

void TestWindow::startResetsBeforeFirstAnswer()
{
    QFETCH(bool, converter);
    QFETCH(int, testIndex);
    QFETCH(QString, typed);
    QFETCH(QString, passwort);
    QFETCH(int, mode);

    WindowUnderTest t(kTwoFtdiPorts, std::make_shared<FixedFtdiSource>(devicesFrom(kTwoFtdiDevices)));
    t.get<QComboBox>("C_Port")->setCurrentText(converter ? "COM5" : "COM6");
    t.get<QComboBox>("comboBoxTestauswahl")->setCurrentIndex(testIndex);
    t.get<QLineEdit>(converter ? "T_MeterNumber" : "T_Passwort")->setText(typed);

    // A finished earlier run: values, result line, log and report text.
    meter_result_t earlier = clearedMeterResult();
    for (const MeterField &f : kMeterFields) {
        earlier.*f.value = 9.5;
        earlier.*f.valid = true;
    }
    t.invoke("slotUpdateParserErgebnis", Q_ARG(meter_result_t, earlier));
    t.invoke("slotUpdateErgebnis", Q_ARG(QString, "erfolgreich"), Q_ARG(QString, "SML"), Q_ARG(QString, "9600 8N1"));
    t.invoke("slotUpdateStatusText", Q_ARG(QString, "Empfangen"), Q_ARG(QColor, QColor("black")));
    t.invoke("slotTestFinished");

    QSignalSpy spy(t.window, &MainWindow::signalStartTest);
    t.invoke("on_C_Start_clicked");

    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), passwort);
    QCOMPARE(int(spy.at(0).at(1).value<TestMode_t>()), mode);
    if (converter)
        QCOMPARE(t.get<QLineEdit>("T_MeterNumber")->text(), passwort);
    int values = 0;
    for (QLabel *label : t.window->findChildren<QLabel *>(QRegularExpression("^L_\\d+(_Value)?$"))) {
        QCOMPARE(label->styleSheet(), QStringLiteral("color: rgb(0, 0, 0);"));
        if (label->objectName().endsWith("_Value")) {
            QCOMPARE(label->text(), QStringLiteral("0.00"));
            ++values;
        }
    }
    QCOMPARE(values, 20);
    for (const char *name : {"L_Ergebnis_Value", "L_Protokoll_Value", "L_Baud_Value"})
        QVERIFY(t.get<QLabel>(name)->text().isEmpty());
    QVERIFY(t.get<QTextEdit>("T_Status")->toPlainText().isEmpty());
    for (const char *name : {"C_Start", "C_Lesekopftest", "C_Verbinden"})
        QVERIFY(!t.get(name)->isEnabled());
    QVERIFY(!t.get<QAction>("actionErgebnis_senden")->isEnabled());
}

void TestWindow::valueGrid_data()
{
    // Records as "field=value" lists, one record per string; shown as "label=text".
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("energy with five decimals") << QStringList{"180=1234.5"} << QStringList{"L_180_Value=1234.50000"};
    QTest::newRow("voltage only") << QStringList{"3270=230.1"} << QStringList{"L_3270_Value=230.10"};
    QTest::newRow("negative power keeps its sign") << QStringList{"270=-5.5"} << QStringList{"L_270_Value=-5.50"};
    QTest::newRow("rounding") << QStringList{"281=0.000004,7170=1.005"}
                              << QStringList{"L_281_Value=0.00000", "L_7170_Value=1.00"};
    QTest::newRow("records accumulate")
        << QStringList{"180=1.5,170=100", "170=200,5170=3.25"}
        << QStringList{"L_180_Value=1.50000", "L_170_Value=200.00", "L_5170_Value=3.25"};
    QTest::newRow("valid zero is blue") << QStringList{"282=0"} << QStringList{"L_282_Value=0.00000"};
    QTest::newRow("tariffs 3 and 4 not shown") << QStringList{"183=7,184=8"} << QStringList();
}

void TestWindow::valueGrid()
{
    QFETCH(QStringList, records);
    QFETCH(QStringList, shown);
    WindowUnderTest t({}, noAdapters());
    t.invoke("on_C_Start_clicked");

    for (const QString &record : records) {
        meter_result_t r = clearedMeterResult();
        for (const QString &item : record.split(',')) {
            for (const MeterField &f : kMeterFields) {
                if (item.section('=', 0, 0) == QLatin1String(f.name)) {
                    r.*f.value = item.section('=', 1).toDouble();
                    r.*f.valid = true;
                }
            }
        }
        t.invoke("slotUpdateParserErgebnis", Q_ARG(meter_result_t, r));
    }

    QMap<QString, QString> expected;
    for (const QString &s : shown)
        expected.insert(s.section('=', 0, 0), s.section('=', 1));
    for (QLabel *value : t.window->findChildren<QLabel *>(QRegularExpression("^L_\\d+_Value$"))) {
        const QString name = value->objectName();
        QLabel *nameLabel = t.get<QLabel>(name.chopped(6).toLatin1().constData());
        const bool valid = expected.contains(name);
        QCOMPARE(value->text(), valid ? expected.value(name) : QStringLiteral("0.00"));
        const QString colour = valid ? "color: rgb(0, 0, 255);" : "color: rgb(0, 0, 0);";
        QCOMPARE(value->styleSheet(), colour);
        QCOMPARE(nameLabel->styleSheet(), colour);
    }
}

void TestWindow::resultWord_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("style");
    QTest::newRow("success") << "erfolgreich" << "QLabel { color : green; }";
    QTest::newRow("failure") << "nicht erfolgreich" << "QLabel { color : red; }";
    QTest::newRow("capital letter") << "Erfolgreich" << "QLabel { color : red; }";
    QTest::newRow("trailing blank") << "erfolgreich " << "QLabel { color : red; }";
}

void TestWindow::resultWord()
{
    QFETCH(QString, word);
    QFETCH(QString, style);
    WindowUnderTest t({}, noAdapters());
    t.invoke("slotUpdateErgebnis", Q_ARG(QString, word), Q_ARG(QString, "OBIS"), Q_ARG(QString, "300 7E1"));
    QCOMPARE(t.get<QLabel>("L_Ergebnis_Value")->styleSheet(), style);
    QCOMPARE(t.get<QLabel>("L_Ergebnis_Value")->text(), word);
    QCOMPARE(t.get<QLabel>("L_Protokoll_Value")->text(), QStringLiteral("OBIS"));
    QCOMPARE(t.get<QLabel>("L_Baud_Value")->text(), QStringLiteral("300 7E1"));
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
    WindowUnderTest t({}, noAdapters());
    t.invoke("slotUpdateErgebnis", Q_ARG(QString, "erfolgreich"), Q_ARG(QString, "SML"), Q_ARG(QString, "9600 8N1"));
    QSignalSpy spy(t.window, &MainWindow::signalLesekopfStartTest);
    {
        ModalCloser closer(static_cast<ModalCloser::Action>(action));
        t.invoke("on_C_Lesekopftest_clicked");
        QCOMPARE(closer.seen.size(), 1);
        QCOMPARE(closer.seen.at(0).className, QStringLiteral("Infodialog"));
        QCOMPARE(closer.seen.at(0).title, QStringLiteral("Lesekopf testen"));
    }
    QCOMPARE(spy.size(), started ? 1 : 0);
    QVERIFY(t.get<QLabel>("L_Ergebnis_Value")->text().isEmpty());
    // Running: everything stays off until the worker finishes; cancelled: back on at once.
    for (const char *name : {"C_Start", "C_Lesekopftest", "C_Verbinden"})
        QCOMPARE(t.get(name)->isEnabled(), !started);
    QCOMPARE(t.get<QAction>("actionErgebnis_senden")->isEnabled(), !started);
}

void TestWindow::helpForAddress()
{
    WindowUnderTest t({}, noAdapters(), nullptr);
    ModalCloser closer;
    t.get<QToolButton>("toolButtonHelp")->click();
    QCOMPARE(closer.seen.size(), 1);
    QCOMPARE(closer.seen.at(0).icon, QMessageBox::Information);
    QCOMPARE(closer.seen.at(0).text,
             QStringLiteral("Meistens nicht nötig, bitte Feld leer lassen. Bisher nur bei wenigen Modellen (AS1440, "
                            "EM214) bekannt.\nEs ist NICHT die Pinnummer des Zählers gemeint."));
}

void TestWindow::advertisingDialog()
{
    werbung dialog;
    QCOMPARE(dialog.minimumSize(), QSize(807, 477));
    QCOMPARE(dialog.maximumSize(), QSize(807, 477));
    QTimer::singleShot(0, &dialog, [&dialog] { dialog.findChild<QPushButton *>("pushButtonClose")->click(); });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));

    Infodialog info;
    QCOMPARE(info.minimumSize(), info.maximumSize()); // fixed at its contents
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
