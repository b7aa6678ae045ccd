#include "app/mainwindow.h"
#include "app/ui_mainwindow.h"

#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>

#include "detection/portscan.h"
#include "reports/clipboardexport.h"
#include "reports/edition.h"
#include "app/infodialog.h"
#include "reports/reportinput.h"
#include "reports/resultupload.h"
#include "reports/senddialog.h"
#include "diagnosis/diagnosis.h"
#include "engine/programversion.h"
#include "engine/serialclass.h"
#include "engine/testlog.h"
#include "engine/workerconnections.h"
#include "reports/testreport.h"
#include "app/werbung.h"

namespace {

const char *const kBlack = "color: rgb(0, 0, 0);";
const char *const kBlue = "color: rgb(0, 0, 255);";

// Added to the request for a port when the list is empty.
constexpr char kNoAccessoryFound[] =
    "\n\nEs wurde kein Zubehör gefunden. Bitte stecken Sie den Lesekopf oder den RS485-Konverter ein und "
    "klicken Sie auf \"Liste aktualisieren\" (die Schaltfläche neben der Portauswahl).";

// The widest value the grid makes room for: six digits before the point.
constexpr double kWidestValue = 888888.0;

// One row of the value grid: the field and its name and value labels. Reset
// and display walk the grid in this order.
struct ValueGridRow
{
    std::size_t field; // row of kMeterFields
    QLabel *Ui::MainWindow::*name;
    QLabel *Ui::MainWindow::*value;
};

#define GRID_ROW(s) { meterFieldIndex(&meter_result_t::Value_##s), &Ui::MainWindow::L_##s, &Ui::MainWindow::L_##s##_Value }
constexpr ValueGridRow kValueGrid[] = {
    GRID_ROW(180), GRID_ROW(181), GRID_ROW(182),
    GRID_ROW(280), GRID_ROW(281), GRID_ROW(282),
    GRID_ROW(170), GRID_ROW(171), GRID_ROW(172), GRID_ROW(173),
    GRID_ROW(270), GRID_ROW(271), GRID_ROW(272), GRID_ROW(273),
    GRID_ROW(3270), GRID_ROW(5270), GRID_ROW(7270),
    GRID_ROW(3170), GRID_ROW(5170), GRID_ROW(7170),
};
#undef GRID_ROW

// The controls of the two accessories: shown for the converter (kind 1) or
// for the reading head (kind 0), switched in this order.
struct InterfaceControl
{
    const char *objectName;
    bool converter;
};

constexpr InterfaceControl kInterfaceControls[] = {
    {"labelTest", true},
    {"labelTest2", false},
    {"labelRS485_Hinweis", true},
    {"C_Lesekopftest", false},
    {"labelTestauswahl", false},
    {"comboBoxTestauswahl", false},
    {"labelPasswort_2", false},
    {"T_Passwort", false},
    {"toolButtonHelp", false},
    {"labelMeterNumber", true},
    {"T_MeterNumber", true},
};


} // namespace

MainWindow::MainWindow(QWidget *parent)
    : MainWindow(WindowEnvironment::system(), parent)
{
}

MainWindow::MainWindow(const WindowEnvironment &environment, QWidget *parent)
    : QMainWindow(parent),
      ui(new Ui::MainWindow),
      labelConnection(nullptr),
      labelStatusBar(nullptr),
      serial(nullptr),
      infoDialog(nullptr),
      sendDialog(nullptr),
      werbungDialog(nullptr),
      ftdiSource(environment.ftdiSource),
      portEnumerator(environment.ports),
      editionDirectory(environment.editionDirectory),
      interfaceKind(IR_Head),
      edition(0)
{
    ui->setupUi(this);

    readEditionFile();
    applyEdition();

    labelConnection = new QLabel(QString(), this);
    labelStatusBar = new QLabel(QString(), this);
    labelConnection->setFrameStyle(QFrame::StyledPanel);
    labelStatusBar->setFrameStyle(QFrame::StyledPanel);
    ui->statusBar->addPermanentWidget(labelConnection, 0);
    ui->statusBar->addPermanentWidget(labelStatusBar, 1);
    labelConnection->setText(QStringLiteral("nicht verbunden"));
    labelStatusBar->setText(QString());
    ui->statusBar->setSizeGripEnabled(false);

    registerMeterMetaTypes();

    serial = new serialclass();

    connectWorker(this, serial);
    // Beside the twelve: the facts behind a verdict, for the hints.
    connect(serial, &serialclass::signalRunOutcome, this, &MainWindow::slotRunOutcome);

    // Each value keeps the width of the longest it can show, so the grid's
    // columns stay in place as values arrive.
    for (const ValueGridRow &row : kValueGrid) {
        QLabel *value = ui->*row.value;
        value->setMinimumWidth(
            value->fontMetrics().horizontalAdvance(formattedValue(kMeterFields[row.field], kWidestValue)));
    }

    ui->L_Ergebnis_Value->setText(QString());
    ui->L_Protokoll_Value->setText(QString());
    ui->L_Baud_Value->setText(QString());

    on_C_Refresh_clicked();
}

MainWindow::~MainWindow()
{
    // The exit dialog below runs an event loop of its own while the form is
    // gone. Take the window off the screen and cut every connection into it
    // first, so that neither a click, a shortcut nor a last answer of a
    // worker stopped in the middle of a test reaches the deleted form.
    hide();
    for (QObject *child : findChildren<QObject *>())
        disconnect(child, nullptr, this, nullptr);
    if (serial)
        disconnect(serial, nullptr, this, nullptr);
    delete ui;
    ui = nullptr;
    delete serial;
    serial = nullptr;
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    if (werbungDialog) {
        delete werbungDialog;
        werbungDialog = nullptr;
    }
    if (const Edition *branding = editionFor(edition); branding && branding->advertisesAtExit) {
        werbungDialog = new werbung();
        werbungDialog->exec();
        delete werbungDialog;
        werbungDialog = nullptr;
    }
    delete infoDialog;
    infoDialog = nullptr;
}

QString MainWindow::messageTitle() const
{
    return productName + QStringLiteral(" Testprogramm");
}

void MainWindow::readEditionFile()
{
    edition = 0;
    QFile file(editionDirectory + QStringLiteral("/oem.dat"));
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return;
    const QByteArray content = file.readAll();
    file.close();
    if (content.isEmpty())
        return;
    // A first byte that is not a digit fails the conversion and gives 0.
    edition = QString(QChar(static_cast<uchar>(content.at(0)))).toInt(nullptr, 10);
}

void MainWindow::applyEdition()
{
    const Edition *branding = editionFor(edition);
    if (!branding)
        return;
    productName = QString::fromUtf8(branding->productName);
    setWindowTitle(QString::fromUtf8(branding->titlePrefix) + programVersionText());
    ui->labelLogo1->setPixmap(QPixmap(QString::fromUtf8(branding->windowLogoLeft)));
    ui->labelLogo2->setPixmap(QPixmap(QString::fromUtf8(branding->windowLogoRight)));
    ui->actionErgebnis_senden->setVisible(branding->uploadOffered);
    ui->menuExtras->menuAction()->setVisible(branding->uploadOffered);
}

void MainWindow::on_M_Beenden_triggered()
{
    QCoreApplication::quit();
}

void MainWindow::on_C_Refresh_clicked()
{
    setInterfaceMode(IR_Head);
    ui->C_Verbinden->setEnabled(false);
    ui->C_Refresh->setEnabled(false);
    // Draw the disabled buttons before the scan, which may take a while.
    QCoreApplication::processEvents();

    ui->C_Port->clear();
    ftdiDevices.clear();
    // Every FTDI port met while the list is still empty asks again, and tells
    // the user again when the library is missing. Adding the first port makes
    // it current, which recognises its accessory at once.
    scanAdapterPorts(*portEnumerator, ftdiDevices, [this] { loadFtdiDevices(); },
                     [this](const SerialPortEntry &port) { ui->C_Port->addItem(port.portName); });

    ui->C_Refresh->setEnabled(true);
    ui->C_Verbinden->setEnabled(true);
}

bool MainWindow::loadFtdiDevices()
{
    return loadFtdiDeviceList(*ftdiSource, ftdiDevices, [this](FtdiDeviceSource::Kind kind) { showDeviceSource(kind); });
}

void MainWindow::showDeviceSource(FtdiDeviceSource::Kind kind)
{
    switch (kind) {
    case FtdiDeviceSource::Kind::Unavailable: {
        QMessageBox box(QMessageBox::Critical, messageTitle(),
                        QStringLiteral("Die Datei ftd2xx.dll wurde nicht gefunden! Bitte prüfen Sie, dass sich "
                                       "die Datei im selben Verzeichnis befindet!"),
                        QMessageBox::Ok);
        box.exec();
        ui->L_DllLoad->setVisible(true);
        ui->L_DllLoad->setText(QStringLiteral("ftd2xx.dll NICHT geladen"));
        break;
    }
    case FtdiDeviceSource::Kind::D2xxLibrary:
        ui->L_DllLoad->setVisible(true);
        ui->L_DllLoad->setText(QStringLiteral("ftd2xx.dll geladen"));
        break;
    case FtdiDeviceSource::Kind::SystemList:
        // The system's own list is no library: nothing to report.
        break;
    }
}

void MainWindow::setInterfaceMode(int kind)
{
    if (kind != IR_Head && kind != MODBUS485_Converter)
        return;
    const bool converter = kind == MODBUS485_Converter;
    for (const InterfaceControl &control : kInterfaceControls)
        findChild<QWidget *>(QLatin1String(control.objectName))->setVisible(control.converter == converter);
    interfaceKind = static_cast<enum_interfaces_t>(kind);
}

void MainWindow::on_C_Verbinden_clicked()
{
    if (ui->C_Verbinden->text() == QLatin1String("Verbinden")) {
        if (ui->C_Port->currentText().isEmpty()) {
            QMessageBox::warning(this, messageTitle(),
                                 QStringLiteral("Bitte wählen Sie einen COM-Port!") + QString::fromUtf8(kNoAccessoryFound),
                                 QMessageBox::Ok);
            return;
        }
        ui->C_Refresh->setEnabled(false);
        ui->C_Port->setEnabled(false);
        ui->C_Verbinden->setEnabled(false);
        emit signalConnectSerialPort(ui->C_Port->currentText());
        return;
    }
    showDisconnected(QStringLiteral("nicht verbunden"));
    emit signalDisconnectSerialPort();
}

void MainWindow::showDisconnected(const QString &connectionText)
{
    ui->C_Port->setEnabled(true);
    ui->C_Refresh->setEnabled(true);
    ui->C_Verbinden->setEnabled(true);
    ui->C_Verbinden->setText(QStringLiteral("Verbinden"));
    ui->C_Start->setEnabled(false);
    ui->C_Lesekopftest->setEnabled(false);
    labelConnection->setText(connectionText);
}

void MainWindow::slotConnectSerial_Success()
{
    ui->C_Verbinden->setText(QStringLiteral("Verbindung trennen"));
    ui->C_Verbinden->setEnabled(true);
    labelConnection->setText(QStringLiteral("Verbunden mit ") + ui->C_Port->currentText());
    ui->C_Start->setEnabled(true);
    ui->C_Lesekopftest->setEnabled(true);
}

void MainWindow::slotConnectSerial_Fail(QString Errormessage)
{
    ui->C_Refresh->setEnabled(true);
    ui->C_Port->setEnabled(true);
    ui->C_Verbinden->setEnabled(true);
    QMessageBox::warning(this, messageTitle(), QStringLiteral("Fehler beim Verbinden: ") + Errormessage,
                         QMessageBox::Ok);
}

// Both kinds of run lock the controls and clear the result line and the log
// before the worker is asked; slotTestFinished unlocks them.
void MainWindow::beginRun()
{
    ui->actionErgebnis_senden->setEnabled(false);
    ui->C_Verbinden->setEnabled(false);
    ui->C_Start->setEnabled(false);
    ui->C_Lesekopftest->setEnabled(false);
    ui->L_Ergebnis_Value->setText(QString());
    ui->L_Protokoll_Value->setText(QString());
    ui->L_Baud_Value->setText(QString());
    ui->T_Status->clear();
}

void MainWindow::on_C_Start_clicked()
{
    if (interfaceKind == MODBUS485_Converter && ui->T_MeterNumber->text().isEmpty())
        ui->T_MeterNumber->setText(QStringLiteral("0"));

    beginRun();
    resultForPrint = QString();

    if (interfaceKind == MODBUS485_Converter)
        emit signalStartTest(ui->T_MeterNumber->text(), Test_All, MODBUS485_Converter);
    else
        emit signalStartTest(ui->T_Passwort->text(),
                             static_cast<TestMode_t>(ui->comboBoxTestauswahl->currentIndex()), interfaceKind);

    for (const ValueGridRow &row : kValueGrid)
        (ui->*row.value)->setStyleSheet(QLatin1String(kBlack));
    for (const ValueGridRow &row : kValueGrid)
        (ui->*row.name)->setStyleSheet(QLatin1String(kBlack));
    for (const ValueGridRow &row : kValueGrid)
        (ui->*row.value)->setText(QStringLiteral("0.00"));
}

void MainWindow::slotUpdateStatuBar(QString Text)
{
    labelStatusBar->setText(Text);
}

void MainWindow::slotUpdateStatusText(QString Text, QColor TextColor)
{
    ui->T_Status->setTextColor(TextColor);
    ui->T_Status->append(Text);
}

void MainWindow::slotTestFinished()
{
    ui->C_Verbinden->setEnabled(true);
    ui->actionErgebnis_senden->setEnabled(true);
    if (portLost) {
        // The port is gone: nothing to start until the user connects again.
        portLost = false;
        showDisconnected(QStringLiteral("Verbindung zu %1 verloren").arg(ui->C_Port->currentText()));
        emit signalDisconnectSerialPort();
        return;
    }
    ui->C_Start->setEnabled(true);
    ui->C_Lesekopftest->setEnabled(true);
}

void MainWindow::slotRunOutcome(RunOutcome Outcome)
{
    if (Outcome.verdict == Verdict::NotRun)
        return;
    for (const QString &line : hintLines(Outcome, diagnose(Outcome, {FrontEnd::Window})))
        slotUpdateStatusText(QStringLiteral("Hinweis: ") + line, QColor(QLatin1String(logcolour::kHeading)));
    portLost = Outcome.portLost();
}

void MainWindow::slotUpdateErgebnis(QString Ergebnis, QString Protokoll, QString Baud)
{
    if (Ergebnis == QLatin1String("erfolgreich"))
        ui->L_Ergebnis_Value->setStyleSheet(QStringLiteral("QLabel { color : green; }"));
    else
        ui->L_Ergebnis_Value->setStyleSheet(QStringLiteral("QLabel { color : red; }"));
    ui->L_Ergebnis_Value->setText(Ergebnis);
    ui->L_Protokoll_Value->setText(Protokoll);
    ui->L_Baud_Value->setText(Baud);
}

void MainWindow::slotUpdateParserErgebnis(meter_result_t Ergebnis)
{
    for (const ValueGridRow &row : kValueGrid) {
        const MeterField &field = kMeterFields[row.field];
        if (!(Ergebnis.*field.valid))
            continue;
        (ui->*row.value)->setText(formattedValue(field, Ergebnis.*field.value));
        (ui->*row.name)->setStyleSheet(QLatin1String(kBlue));
        (ui->*row.value)->setStyleSheet(QLatin1String(kBlue));
    }
}

void MainWindow::slotUpdateResultForPrint(QString Text)
{
    resultForPrint = Text;
}

void MainWindow::on_C_Lesekopftest_clicked()
{
    beginRun();

    delete infoDialog;
    infoDialog = new Infodialog();
    if (infoDialog->exec() == QDialog::Accepted) {
        emit signalLesekopfStartTest();
        return;
    }
    delete infoDialog;
    infoDialog = nullptr;
    slotTestFinished();
}

void MainWindow::on_toolButtonHelp_clicked()
{
    QMessageBox::information(this, messageTitle(),
                             QStringLiteral("Meistens nicht nötig, bitte Feld leer lassen. Bisher nur bei wenigen "
                                            "Modellen (AS1440, EM214) bekannt.\n"
                                            "Es ist NICHT die Pinnummer des Zählers gemeint."),
                             QMessageBox::Ok);
}

void MainWindow::on_C_Port_currentIndexChanged(QString arg1)
{
    for (const SerialPortEntry &port : portEnumerator->availablePorts()) {
        if (port.portName != arg1)
            continue;
        if (const std::optional<enum_interfaces_t> kind = recognisedAccessory(ftdiDevices, port.serialNumber))
            setInterfaceMode(*kind);
    }
}

void MainWindow::on_M_Text_kopieren_triggered()
{
    copyLogToClipboard(reportInput());
}

void MainWindow::on_actionErgebnis_senden_triggered()
{
    ResultUpload(this, productName).run(sendDialog, ui->T_Status->toPlainText());
}

void MainWindow::on_pushButtonCopyValues_clicked()
{
    copyValuesToClipboard(reportInput());
}

void MainWindow::on_actionDrucken_triggered()
{
    runReportPreview([this](QPrinter *printer) { print(printer); });
}

void MainWindow::print(QPrinter *printer)
{
    TestReport(reportInput()).paint(printer);
}

ReportInput MainWindow::reportInput() const
{
    ReportInput input;
    for (const ValueGridRow &row : kValueGrid)
        input.values[row.field] = (ui->*row.value)->text();
    input.protocol = ui->L_Protokoll_Value->text();
    input.log = ui->T_Status->toPlainText();
    input.resultForPrint = resultForPrint;
    input.edition = edition;
    return input;
}
