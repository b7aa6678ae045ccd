#include "tools/demo/snapshot.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>
#include <QTextStream>
#include <QTimer>

namespace {

constexpr int kTickMs = 100;
constexpr int kGiveUpTicks = 1200; // two minutes: a hung test must not hang the tool

template<typename T>
T *child(QWidget *window, const char *name)
{
    return window->findChild<T *>(QLatin1String(name));
}

} // namespace

Snapshot::Snapshot(QWidget *window, QString port, QString file, QString fileBefore)
    : window(window), port(std::move(port)), file(std::move(file)), fileBefore(std::move(fileBefore))
{
}

void Snapshot::start()
{
    QTimer::singleShot(500, this, [this] { step(); });
}

void Snapshot::step()
{
    if (++ticks > kGiveUpTicks) {
        QTextStream(stderr) << "viviv-demo: der Test wurde nicht fertig, kein Bild\n";
        QApplication::exit(1);
        return;
    }
    auto *connectButton = child<QPushButton>(window, "C_Verbinden");
    auto *startButton = child<QPushButton>(window, "C_Start");
    switch (stage) {
    case 0:
        child<QComboBox>(window, "C_Port")->setCurrentText(port);
        connectButton->click();
        stage = 1;
        break;
    case 1:
        if (startButton->isEnabled()) {
            if (!fileBefore.isEmpty())
                window->grab().save(fileBefore);
            startButton->click();
            stage = 2;
        }
        break;
    case 2:
        // Enabled again once the worker reports the end of the run.
        if (startButton->isEnabled()) {
            window->grab().save(file);
            const QString result = child<QLabel>(window, "L_Ergebnis_Value")->text();
            QTextStream(stdout) << child<QTextEdit>(window, "T_Status")->toPlainText() << "\n"
                                << "viviv-demo: " << result << ", Bild gespeichert in " << file << "\n";
            // The exit code tells a smoke test whether the simulated meter was read.
            QApplication::exit(result == QLatin1String("erfolgreich") ? 0 : 1);
            return;
        }
        break;
    }
    QTimer::singleShot(kTickMs, this, [this] { step(); });
}
