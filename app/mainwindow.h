#pragma once

#include <QList>
#include <QMainWindow>
#include <QString>
#include <memory>

#include "detection/ftdidevice.h"
#include "detection/ftdisource.h"
#include "engine/testoutcome.h"
#include "protocols/meterresult.h"
#include "app/windowenvironment.h"

class QLabel;
class QPrinter;
class serialclass;
class Infodialog;
class senddialog;
class werbung;
struct ReportInput;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

    // Wires the worker to the private answer slots below.
    template <typename FrontEnd>
    friend void connectWorker(FrontEnd *frontEnd, serialclass *worker);

public:
    explicit MainWindow(QWidget *parent = nullptr);
    // Ports, FTDI device list and edition directory from elsewhere (demo, tests).
    explicit MainWindow(const WindowEnvironment &environment, QWidget *parent = nullptr);
    ~MainWindow() override;

signals:
    void signalConnectSerialPort(QString Port);
    void signalDisconnectSerialPort();
    void signalStartTest(QString Passwort, TestMode_t TestMode, enum_interfaces_t Interace);
    void signalLesekopfStartTest();

private slots:
    void on_M_Beenden_triggered();
    void on_C_Refresh_clicked();
    void on_C_Verbinden_clicked();
    void on_C_Start_clicked();
    void slotConnectSerial_Fail(QString Errormessage);
    void slotConnectSerial_Success();
    void slotUpdateStatuBar(QString Text);
    void slotUpdateStatusText(QString Text, QColor TextColor);
    void slotTestFinished();
    void slotUpdateErgebnis(QString Ergebnis, QString Protokoll, QString Baud);
    void slotUpdateParserErgebnis(meter_result_t Ergebnis);
    void on_M_Text_kopieren_triggered();
    void on_C_Lesekopftest_clicked();
    void on_toolButtonHelp_clicked();
    void on_C_Port_currentIndexChanged(QString arg1);
    void on_actionErgebnis_senden_triggered();
    void on_pushButtonCopyValues_clicked();
    void on_actionDrucken_triggered();
    void print(QPrinter *printer);
    void slotUpdateResultForPrint(QString Text);
    void slotRunOutcome(RunOutcome Outcome);

private:
    void readEditionFile();
    void applyEdition();
    bool loadFtdiDevices();
    // What the user learns of the device source: the missing-library box, the load label.
    void showDeviceSource(FtdiDeviceSource::Kind kind);
    void setInterfaceMode(int kind);
    QString messageTitle() const;
    void beginRun();
    void showDisconnected(const QString &connectionText);
    // What the window shows and holds, for the clipboard and the report.
    ReportInput reportInput() const;

    Ui::MainWindow *ui;
    QLabel *labelConnection;
    QLabel *labelStatusBar;
    serialclass *serial;
    Infodialog *infoDialog;
    senddialog *sendDialog;
    werbung *werbungDialog;
    FtdiDeviceList ftdiDevices;
    std::shared_ptr<FtdiDeviceSource> ftdiSource; // loads FTDI's library once, keeps it loaded
    std::shared_ptr<PortEnumerator> portEnumerator;
    QString editionDirectory;
    enum_interfaces_t interfaceKind;
    int edition;
    QString productName;
    QString resultForPrint;
    bool portLost = false; // the last run lost the port
};
