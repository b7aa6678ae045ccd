// The window's connection controls and its life cycle with a real worker.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include "app/mainwindow.h"
#include "tests/common/modalanswer.h"
#include "tests/common/ptypair.h"

namespace {

QStringList g_messages;
QtMessageHandler g_previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext &ctx, const QString &msg)
{
    g_messages << msg;
    g_previousHandler(type, ctx, msg);
}

template <typename T>
T *child(QWidget *w, const char *name)
{
    T *c = w->findChild<T *>(QLatin1String(name));
    if (!c)
        qFatal("no widget %s", name);
    return c;
}

MainWindow *windowWithPort(const QString &port)
{
    auto *w = new MainWindow();
    auto *combo = child<QComboBox>(w, "C_Port");
    combo->clear();
    if (!port.isEmpty())
        combo->addItem(port);
    return w;
}

// Button text, then enabled flags of connect button, port controls, test buttons, then the status field.
QString stateOf(QWidget *w)
{
    QString label;
    for (QLabel *l : child<QStatusBar>(w, "statusBar")->findChildren<QLabel *>())
        if (l->text().contains(QLatin1String("erbunden")))
            label = l->text();
    auto flag = [](bool b) { return b ? QLatin1Char('1') : QLatin1Char('0'); };
    return child<QPushButton>(w, "C_Verbinden")->text() + QLatin1Char('|')
        + flag(child<QPushButton>(w, "C_Verbinden")->isEnabled())
        + flag(child<QComboBox>(w, "C_Port")->isEnabled() && child<QPushButton>(w, "C_Refresh")->isEnabled())
        + flag(child<QPushButton>(w, "C_Start")->isEnabled() && child<QPushButton>(w, "C_Lesekopftest")->isEnabled())
        + QLatin1Char('|') + label;
}

const QString kNotConnected = QStringLiteral("Verbinden|110|nicht verbunden");

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { g_previousHandler = qInstallMessageHandler(recordMessage); }
    void connectionStates_data();
    void connectionStates();
    void quitDuringTestStopsWorkerCleanly();
    // A misnamed widget would silently unbind its slot when the form is built.
    void cleanupTestCase() { QVERIFY(!g_messages.join(QLatin1Char('\n')).contains(QLatin1String("No matching signal"))); }
};

void TestMainWindow::connectionStates_data()
{
    QTest::addColumn<QString>("port"); // "pty" for a real pseudo-terminal
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("state");
    QTest::newRow("no port chosen") << QString() << 1
                                    << "QMessageBox|Viviv Testprogramm|Bitte wählen Sie einen COM-Port!|warning" << kNotConnected;
    QTest::newRow("port missing") << "/dev/viviv-no-such-port" << 1
                                  << "QMessageBox|Viviv Testprogramm|Fehler beim Verbinden: No such file or directory|warning" << kNotConnected;
    QTest::newRow("port opens") << "pty" << 1 << QString() << "Verbindung trennen|101|Verbunden mit ";
    QTest::newRow("disconnect at once") << "pty" << 2 << QString() << kNotConnected;
}

void TestMainWindow::connectionStates()
{
    QFETCH(QString, port);
    QFETCH(int, clicks);
    QFETCH(QString, box);
    QFETCH(QString, state);
    PtyPair pty;
    QVERIFY(pty.ok());
    const bool real = port == QLatin1String("pty");
    MainWindow *w = windowWithPort(real ? pty.slavePath() : port);
    auto *button = child<QPushButton>(w, "C_Verbinden");

    ModalAnswer answer;
    QTest::mouseClick(button, Qt::LeftButton);
    if (real) {
        // Connecting: every connection control waits for the worker's answer.
        QCOMPARE(stateOf(w), QStringLiteral("Verbinden|000|nicht verbunden"));
        QTRY_COMPARE_WITH_TIMEOUT(button->text(), QStringLiteral("Verbindung trennen"), 5000);
        QVERIFY(!pty.slaveClosed());
    }
    if (clicks == 2) {
        QTest::mouseClick(button, Qt::LeftButton);
        // The window does not wait for the worker; the port closes behind it.
        QCOMPARE(stateOf(w), state);
        QTRY_VERIFY_WITH_TIMEOUT(pty.slaveClosed(), 5000);
    }
    QTRY_COMPARE_WITH_TIMEOUT(answer.seen.join(QString()), box, 5000);
    QCOMPARE(stateOf(w), real && clicks == 1 ? state + pty.slavePath() : state);
    delete w;
}

void TestMainWindow::quitDuringTestStopsWorkerCleanly()
{
    PtyPair pty;
    QVERIFY(pty.ok());
    MainWindow *w = windowWithPort(pty.slavePath());
    QTest::mouseClick(child<QPushButton>(w, "C_Verbinden"), Qt::LeftButton);
    auto *start = child<QPushButton>(w, "C_Start");
    QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 5000);
    QTest::mouseClick(start, Qt::LeftButton);
    QTest::qWait(300); // the worker is inside the test now

    ModalAnswer answer; // the exit dialog
    QElapsedTimer t;
    t.start();
    delete w;
    QVERIFY(t.elapsed() < 5000); // only a guard against a hang
    QVERIFY(!g_messages.contains(QStringLiteral("thread has to be terminated")));
    QTRY_VERIFY_WITH_TIMEOUT(pty.slaveClosed(), 2000);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
