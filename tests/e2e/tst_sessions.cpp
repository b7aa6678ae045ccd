// A user's sessions with the real window, the real worker thread and the
// demo's simulated meters: clicks, connection states, the value grid, quit.
#include <QtTest>
#include <QtWidgets>

#include "tools/demo/demosetup.h"
#include "app/mainwindow.h"
#include "tests/common/jsonrows.h"
#include "tests/common/modalanswer.h"

#include <fcntl.h>
#include <unistd.h>

using metersim::Profile;

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
    QString connection() { return window->statusBar()->findChild<QLabel *>()->text(); } // the left field
    void click(const char *name) { QTest::mouseClick(get<QPushButton>(name), Qt::LeftButton); }
    bool ready() { return get<QPushButton>("C_Start")->isEnabled(); }
    bool connectTo(const QString &port) // true when a test can be started; the port list stays locked
    {
        get<QComboBox>("C_Port")->setCurrentText(port);
        click("C_Verbinden");
        return QTest::qWaitFor([this] { return get<QPushButton>("C_Verbinden")->isEnabled(); }, kPatienceMs) && ready()
               && !get<QComboBox>("C_Port")->isEnabled() && connection() == "Verbunden mit " + port;
    }
    void quit() // Ctrl+Q ("Beenden"), then what main() does after its event loop; the worker must end by itself
    {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &m) { if (m == "thread has to be terminated") forced = true; });
        shown = window->windowHandle();
        for (const char *name : {"C_Verbinden", "C_Refresh", "C_Start", "C_Lesekopftest", "pushButtonCopyValues"})
            spots << get<QWidget>(name)->mapToGlobal(get<QWidget>(name)->rect().center());
        QTimer::singleShot(0, window.get(), [w = window.get()] {
            QApplication::setActiveWindow(w);
            QTest::keyClick(w, Qt::Key_Q, Qt::ControlModifier);
        });
        qApp->exec();
        window.reset();
        QVERIFY(!forced);
        QVERIFY(windowGone);
    }
    // The exit dialog comes after the window has gone: a click where the
    // window was finds nothing of it, and surely not its deleted form. The
    // window system's choice, on a screen of any size: the last one shown on top.
    void clickWhereTheWindowWas()
    {
        const QWindowList windows = QGuiApplication::topLevelWindows();
        for (const QPoint &spot : spots) {
            const auto top = std::find_if(windows.rbegin(), windows.rend(),
                                          [&spot](QWindow *w) { return w->isVisible() && w->geometry().contains(spot); });
            if (top != windows.rend()) {
                windowGone &= *top != shown;
                QTest::mouseClick(*top, Qt::LeftButton, {}, (*top)->mapFromGlobal(spot));
            }
        }
    }

    std::unique_ptr<DemoSetup> setup;
    QWindow *shown = nullptr; // the window's own, until it quits
    QList<QPoint> spots;      // where its buttons were
    bool windowGone = true;
    ModalAnswer person{ModalAnswer::Accept, [this](QDialog *) {
        if (shown)
            clickWhereTheWindowWas();
        return false; // then closed as any dialog
    }};
    std::unique_ptr<MainWindow> window;
};

class SessionTest : public QObject
{
    Q_OBJECT

private slots:
    // A meter, the test chosen, the result line, and the edition (-1: the maker's, with its exit dialog).
    void userSession_data() { addJsonRows("app/sessions.json", __func__); }
    void userSession()
    {
        QFETCH(QJsonObject, row);
        const Profile profile = metersim::profileByName(row["meter"].toString())->profile;
        const QString result = row["result"].toString();
        const int edition = row["edition"].toInt();
        Session s(profile, edition);
        s.click("C_Refresh");
        QVERIFY(s.connectTo(profile == Profile::ModbusSlave ? s.setup->rs485Port() : s.setup->headPort()));
        s.get<QComboBox>("comboBoxTestauswahl")->setCurrentIndex(row["test"].toInt());
        s.click("C_Start");
        QTRY_VERIFY_WITH_TIMEOUT(s.ready(), kPatienceMs);
        QCOMPARE((QStringList{s.text("L_Ergebnis_Value"), s.text("L_Protokoll_Value"), s.text("L_Baud_Value")}).join('|'), result);
        // The grid shows what the meter holds; a failed run leaves the form's zeros.
        const bool read = result.startsWith("erfolgreich");
        QCOMPARE(s.text("L_180_Value"), read ? QString::number(metersim::telegrams::defaultValues().import_kWh, 'f', 5) : "0.00");
        QCOMPARE(s.text("L_170_Value"), read ? QString::number(metersim::telegrams::defaultValues().power_W, 'f', 2) : "0.00");

        s.click("C_Verbinden"); // the window does not wait for the worker
        QVERIFY(!s.ready() && s.get<QPushButton>("C_Verbinden")->text() == "Verbinden" && s.connection() == "nicht verbunden");
        s.quit();
        QCOMPARE(s.person.seen, edition < 0 ? QStringList{"werbung|Viviv"} : QStringList()); // the exit dialog, answered
    }

    // When the reading head goes, or the user quits.
    void interrupted_data() { addJsonRows("app/sessions.json", __func__); }
    void interrupted()
    {
        QFETCH(QJsonObject, row);
        const QString pull = row["name"].toString();
        Session s(Profile::Silent, -1);
        if (pull == "port-vanished") {
            // Held open here, the pty's number cannot pass to another program's new pty,
            // whose path would open, before the connect; its own path goes with the unplug.
            const int held = ::open(qPrintable(s.setup->headPort()), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            s.setup->headMeter().unplug(); // after the port list was read
            QVERIFY(!s.connectTo(s.setup->headPort()));
            ::close(held);
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
            // The chain ends at the loss, the port is let go and "Verbinden" offered again.
            QTRY_VERIFY_WITH_TIMEOUT(s.get<QPushButton>("C_Verbinden")->text() == "Verbinden", kPatienceMs);
            QVERIFY2(s.text("L_Ergebnis_Value") == "nicht erfolgreich"
                         && s.log().count("Fehler an der Schnittstelle: ") == 1,
                     qPrintable(s.log()));
            QVERIFY(!s.ready() && s.connection() == "Verbindung zu " + s.setup->headPort() + " verloren");
        }
        QVERIFY(s.connectTo(s.setup->rs485Port())); // the window goes on with the other accessory
        s.quit();
    }
};

QTEST_MAIN(SessionTest)
#include "tst_sessions.moc"
