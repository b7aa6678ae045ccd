// The window's connection controls and its life cycle with a real worker.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <functional>

#include "mainwindow.h"
#include "ptypair.h"

namespace {

QStringList g_messages;
QtMessageHandler g_previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext &ctx, const QString &msg)
{
    g_messages << msg;
    if (g_previousHandler)
        g_previousHandler(type, ctx, msg);
}

// Answers the next modal widget (message box or dialog) as a person would,
// handing its texts to the caller first.
void answerNextModal(std::function<void(QWidget *)> inspect = {})
{
    QTimer::singleShot(50, [inspect]() {
        QWidget *w = QApplication::activeModalWidget();
        if (!w) {
            answerNextModal(inspect);
            return;
        }
        if (inspect)
            inspect(w);
        if (auto *dlg = qobject_cast<QDialog *>(w))
            dlg->done(QDialog::Accepted);
        else
            w->close();
    });
}

// Closes the exit dialog that the maker's edition shows when the window goes.
void deleteWindow(MainWindow *w)
{
    answerNextModal();
    delete w;
}

template <typename T>
T *child(QWidget *w, const char *name)
{
    T *c = w->findChild<T *>(QLatin1String(name));
    if (!c)
        qFatal("no widget %s", name);
    return c;
}

struct ConnectionState
{
    QString button;
    bool buttonEnabled;
    bool portEnabled;
    bool startEnabled;
    QString label;
};

ConnectionState stateOf(QWidget *w)
{
    QLabel *connection = nullptr;
    for (QLabel *l : w->findChild<QStatusBar *>(QStringLiteral("statusBar"))->findChildren<QLabel *>())
        if (l->text().startsWith(QLatin1String("nicht verbunden")) || l->text().startsWith(QLatin1String("Verbunden mit")))
            connection = l;
    return {child<QPushButton>(w, "C_Verbinden")->text(), child<QPushButton>(w, "C_Verbinden")->isEnabled(),
            child<QComboBox>(w, "C_Port")->isEnabled() && child<QPushButton>(w, "C_Refresh")->isEnabled(),
            child<QPushButton>(w, "C_Start")->isEnabled() && child<QPushButton>(w, "C_Lesekopftest")->isEnabled(),
            connection ? connection->text() : QString()};
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { g_previousHandler = qInstallMessageHandler(recordMessage); }
    void init() { g_messages.clear(); }
    void formBindsEverySlot();
    void noPortChosenWarns();
    void connectionAnswers_data();
    void connectionAnswers();
    void disconnectReturnsAtOnce();
    void quitDuringTestStopsWorkerCleanly();
};

void TestMainWindow::formBindsEverySlot()
{
    auto *w = new MainWindow();
    deleteWindow(w);
    for (const QString &m : qAsConst(g_messages))
        QVERIFY2(!m.contains(QLatin1String("No matching signal")), qPrintable(m));
}

void TestMainWindow::noPortChosenWarns()
{
    auto *w = new MainWindow();
    child<QComboBox>(w, "C_Port")->clear();
    QString title, text;
    answerNextModal([&](QWidget *box) {
        title = box->windowTitle();
        if (auto *mb = qobject_cast<QMessageBox *>(box))
            text = mb->text();
    });
    QTest::mouseClick(child<QPushButton>(w, "C_Verbinden"), Qt::LeftButton);
    QCOMPARE(text, QStringLiteral("Bitte wählen Sie einen COM-Port!"));
    QCOMPARE(title, w->windowTitle().section(QLatin1String(" - "), 0, 0) + QStringLiteral(" Testprogramm"));
    // Nothing went to the worker: still the start state.
    const ConnectionState s = stateOf(w);
    QCOMPARE(s.button, QStringLiteral("Verbinden"));
    QVERIFY(s.buttonEnabled && s.portEnabled && !s.startEnabled);
    deleteWindow(w);
}

void TestMainWindow::connectionAnswers_data()
{
    QTest::addColumn<bool>("realPort");
    QTest::newRow("port opens") << true;
    QTest::newRow("port missing") << false;
}

void TestMainWindow::connectionAnswers()
{
    QFETCH(bool, realPort);
    PtyPair pty;
    QVERIFY(pty.ok());
    const QString port = realPort ? pty.slavePath() : QStringLiteral("/dev/viviv-no-such-port");

    auto *w = new MainWindow();
    w->show();
    auto *combo = child<QComboBox>(w, "C_Port");
    combo->clear();
    combo->addItem(port);

    QString failText;
    if (!realPort)
        answerNextModal([&](QWidget *box) {
            if (auto *mb = qobject_cast<QMessageBox *>(box))
                failText = mb->text();
        });
    QTest::mouseClick(child<QPushButton>(w, "C_Verbinden"), Qt::LeftButton);

    if (realPort) {
        // Connecting: all connection controls wait for the worker's answer.
        const ConnectionState connecting = stateOf(w);
        QVERIFY(!connecting.buttonEnabled && !connecting.portEnabled && !connecting.startEnabled);
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(w).button, QStringLiteral("Verbindung trennen"), 5000);
        const ConnectionState s = stateOf(w);
        QVERIFY(s.buttonEnabled && !s.portEnabled && s.startEnabled);
        QCOMPARE(s.label, QStringLiteral("Verbunden mit ") + port);
        QVERIFY(!pty.slaveClosed());
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(failText.startsWith(QLatin1String("Fehler beim Verbinden: ")), 5000);
        QVERIFY(failText.size() > int(qstrlen("Fehler beim Verbinden: ")));
        const ConnectionState s = stateOf(w);
        QCOMPARE(s.button, QStringLiteral("Verbinden"));
        QVERIFY(s.buttonEnabled && s.portEnabled && !s.startEnabled);
        QCOMPARE(s.label, QStringLiteral("nicht verbunden"));
    }
    deleteWindow(w);
}

void TestMainWindow::disconnectReturnsAtOnce()
{
    PtyPair pty;
    QVERIFY(pty.ok());
    auto *w = new MainWindow();
    auto *combo = child<QComboBox>(w, "C_Port");
    combo->clear();
    combo->addItem(pty.slavePath());
    auto *button = child<QPushButton>(w, "C_Verbinden");
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(button->text(), QStringLiteral("Verbindung trennen"), 5000);

    QTest::mouseClick(button, Qt::LeftButton);
    // The window does not wait for the worker.
    const ConnectionState s = stateOf(w);
    QCOMPARE(s.button, QStringLiteral("Verbinden"));
    QVERIFY(s.buttonEnabled && s.portEnabled && !s.startEnabled);
    QCOMPARE(s.label, QStringLiteral("nicht verbunden"));
    QTRY_VERIFY_WITH_TIMEOUT(pty.slaveClosed(), 5000);
    deleteWindow(w);
}

void TestMainWindow::quitDuringTestStopsWorkerCleanly()
{
    PtyPair pty;
    QVERIFY(pty.ok());
    auto *w = new MainWindow();
    auto *combo = child<QComboBox>(w, "C_Port");
    combo->clear();
    combo->addItem(pty.slavePath());
    QTest::mouseClick(child<QPushButton>(w, "C_Verbinden"), Qt::LeftButton);
    auto *start = child<QPushButton>(w, "C_Start");
    QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 5000);
    QTest::mouseClick(start, Qt::LeftButton);
    QVERIFY(!start->isEnabled());
    QTest::qWait(300); // the worker is inside the test now

    QElapsedTimer t;
    t.start();
    deleteWindow(w);
    // Only a guard against a hang; the worker leaves at its next wait slice.
    QVERIFY(t.elapsed() < 5000);
    QVERIFY(!g_messages.contains(QStringLiteral("thread has to be terminated")));
    QTRY_VERIFY_WITH_TIMEOUT(pty.slaveClosed(), 2000);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
