// A user's sessions with the real window, the real worker thread and the
// demo's simulated meters: clicks, the value grid, clipboard, report, upload, quit.
#include <QPrinter>
#include <QtTest>
#include <QtWidgets>

#include "tools/demo/demosetup.h"
#include "tests/common/helpers.h"
#include "app/mainwindow.h"
#include "tests/common/modalanswer.h"
#include "reports/resultupload.h"
#include "reports/senddialog.h"
#include "reports/testreport.h"
#include "reports/uploadmessage.h"

using metersim::Profile;
Q_DECLARE_METATYPE(Profile)

constexpr int kPatienceMs = 200000; // a whole failing chain on a loaded machine; guards a hang only
static bool forced = false;         // the worker thread had to be terminated

// The demo's two meters in front of the window, and a person answering its dialogs.
struct Session
{
    Session(Profile meter, int edition) // a reading head's meter, or the Modbus meter behind the converter
    {
        DemoSetup::Choice choice;
        (meter == Profile::ModbusSlave ? choice.rs485Profile : choice.headProfile) = meter;
        choice.edition = edition;
        setup = std::make_unique<DemoSetup>(choice);
        if (QString error; !setup->start(&error))
            qFatal("no simulated meters: %s", qPrintable(error));
        (window = std::make_unique<MainWindow>(setup->environment()))->show();
    }
    template<typename T = QLabel> T *get(const char *name) { return window->findChild<T *>(name); }
    QString text(const char *name) { return get(name)->text(); }
    QString log() { return get<QTextEdit>("T_Status")->toPlainText(); }
    void click(const char *name) { QTest::mouseClick(get<QPushButton>(name), Qt::LeftButton); }
    bool ready() { return get<QPushButton>("C_Start")->isEnabled(); }
    bool connectTo(const QString &port) // true when a test can be started
    {
        get<QComboBox>("C_Port")->setCurrentText(port);
        click("C_Verbinden");
        return QTest::qWaitFor([this] { return get<QPushButton>("C_Verbinden")->isEnabled(); }, kPatienceMs) && ready();
    }
    void quit() // Ctrl+Q ("Beenden"), then what main() does after its event loop; the worker must end by itself
    {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &m) { if (m == "thread has to be terminated") forced = true; });
        QTimer::singleShot(0, window.get(), [w = window.get()] {
            QApplication::setActiveWindow(w);
            QTest::keyClick(w, Qt::Key_Q, Qt::ControlModifier);
        });
        qApp->exec();
        window.reset();
        QVERIFY(!forced);
    }

    std::unique_ptr<DemoSetup> setup;
    ModalAnswer person{ModalAnswer::Accept, [](QDialog *dialog) { // fills in and sends the send dialog
        auto *maker = dialog->findChild<QLineEdit *>("lineEditHersteller");
        if (!maker)
            return false;
        maker->setText("Hersteller E2E");
        dialog->findChild<QLineEdit *>("lineEditModell")->setText("Modell 7");
        QMetaObject::invokeMethod(dialog->findChild<QPushButton *>("pushButtonSenden"), "click", Qt::QueuedConnection);
        return true;
    }};
    std::unique_ptr<MainWindow> window;
};

class SessionTest : public QObject
{
    Q_OBJECT

private slots:
    void userSession_data()
    {
        QTest::addColumn<Profile>("profile");
        QTest::addColumn<int>("test");       // entry of the test choice, 0 "Alle Tests"
        QTest::addColumn<QString>("result"); // result, protocol, baud rate as shown
        QTest::addColumn<int>("edition");    // -1: the maker's, with its exit dialog
        QTest::newRow("head-all-sml-push") << Profile::SmlPush << 0 << "erfolgreich|SML|9600 8N1" << -1;
        QTest::newRow("head-t3-iec-push") << Profile::IecPush << 3 << "erfolgreich|OBIS ASCII|9600 7E1" << 1;
        QTest::newRow("head-t4-iec-mode-c") << Profile::IecModeC << 4 << "erfolgreich|OBIS ASCII|300 7E1" << 2;
        QTest::newRow("head-all-noise") << Profile::Noise << 0 << "nicht erfolgreich|-|-" << 1;
        QTest::newRow("rs485-modbus") << Profile::ModbusSlave << 0 << "erfolgreich|Modbus RTU|9600 8E1" << -1;
    }

    void userSession()
    {
        QFETCH(Profile, profile);
        QFETCH(int, test);
        QFETCH(QString, result);
        QFETCH(int, edition);
        Session s(profile, edition);
        s.click("C_Refresh");
        QVERIFY(s.connectTo(profile == Profile::ModbusSlave ? s.setup->rs485Port() : s.setup->headPort()));
        s.get<QComboBox>("comboBoxTestauswahl")->setCurrentIndex(test);
        s.click("C_Start");
        QTRY_VERIFY_WITH_TIMEOUT(s.ready(), kPatienceMs);
        QCOMPARE((QStringList{s.text("L_Ergebnis_Value"), s.text("L_Protokoll_Value"), s.text("L_Baud_Value")}).join('|'), result);
        // The grid shows what the meter holds; a failed run leaves the form's zeros.
        const bool read = result.startsWith("erfolgreich");
        QCOMPARE(s.text("L_180_Value"), read ? QString::number(metersim::telegrams::defaultValues().import_kWh, 'f', 5) : "0.00");
        QCOMPARE(s.text("L_170_Value"), read ? QString::number(metersim::telegrams::defaultValues().power_W, 'f', 2) : "0.00");

        s.click("pushButtonCopyValues");
        QCOMPARE(QGuiApplication::clipboard()->text().split('\t').mid(0, 2),
                 (QStringList{s.text("L_180_Value"), s.text("L_181_Value")}));

        QTemporaryDir dir; // the report as the print slot paints it
        QPrinter printer(QPrinter::ScreenResolution);
        printer.setOutputFileName(dir.filePath("bericht.pdf"));
        setUpReportPrinter(printer);
        QVERIFY(QMetaObject::invokeMethod(s.window.get(), "print", Q_ARG(QPrinter *, &printer)));
        const QString page = runTool("pdftotext", {"-l", "1", "-layout", printer.outputFileName(), "-"});
        QVERIFY2(page.contains(QRegularExpression("Protokoll:\\s+" + result.section('|', 1, 1) + "[\\s\\S]*1.8.0 Bezug Gesamt:\\s+"
                                                  + s.text("L_180_Value"))), qPrintable(page));

        LocalServer server;
        QVERIFY(server.start(REPORTSERVER_PATH, {}));
        ResultUpload upload(s.window.get(), "Viviv");
        upload.server().setServer("127.0.0.1", server.port);
        senddialog *dialog = nullptr;
        upload.run(dialog, s.log());
        delete dialog;
        QVERIFY2(s.person.seen.last().contains("|Nachricht erfolgreich gesendet! Vielen Dank!|"), qPrintable(s.person.seen.last()));
        QCOMPARE(runTool("sh", {"-c", "cat " + server.dir.path() + "/*"}), buildUploadMessage("Hersteller E2E", "Modell 7", s.log()));

        s.click("C_Verbinden");
        QVERIFY(!s.ready() && s.get<QPushButton>("C_Verbinden")->text() == "Verbinden");
        s.quit();
        QCOMPARE(s.person.seen.last().startsWith("werbung|"), edition < 0); // the exit dialog, answered
    }

    void interrupted_data()
    {
        QTest::addColumn<QString>("pull"); // when the reading head goes, or the user quits
        for (const char *row : {"port-vanished", "unplug-during-test", "quit-during-test"})
            QTest::newRow(row) << QString(row);
    }

    void interrupted()
    {
        QFETCH(QString, pull);
        Session s(Profile::Silent, -1);
        if (pull == "port-vanished") {
            s.setup->headMeter().unplug(); // after the port list was read
            QVERIFY(!s.connectTo(s.setup->headPort()));
            QVERIFY2(s.person.seen.value(0).contains("|Fehler beim Verbinden: "), qPrintable(s.person.seen.join('\n')));
        } else {
            QVERIFY(s.connectTo(s.setup->headPort()));
            s.click("C_Start");
            QTRY_VERIFY_WITH_TIMEOUT(s.log().contains("Test 1 mit Baud"), kPatienceMs);
            if (pull == "quit-during-test") { // the CTest time-out bounds the quitting
                s.quit();
                return;
            }
            s.setup->headMeter().unplug();
            QTRY_VERIFY_WITH_TIMEOUT(s.ready(), kPatienceMs);
            QVERIFY2(s.text("L_Ergebnis_Value") == "nicht erfolgreich" && s.log().contains("Fehler an der Schnittstelle: "),
                     qPrintable(s.log()));
            s.click("C_Verbinden");
        }
        QVERIFY(s.connectTo(s.setup->rs485Port())); // the window goes on with the other accessory
        s.quit();
    }
};

QTEST_MAIN(SessionTest)
#include "tst_sessions.moc"
