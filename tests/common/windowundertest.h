#pragma once
// The main window with real widgets, offscreen, on the simulated ports and
// edition file of a data row, with an edition directory of its own. Every
// modal window it shows is answered (row "answer": accept, reject or close;
// the exit dialog by its own button) and noted in answer.seen.
#include <QPushButton>
#include <QTest>

#include "tests/common/helpers.h"
#include "tests/common/jsonrows.h"
#include "app/mainwindow.h"
#include "tests/common/modalanswer.h"

// A record with the given fields valid: {"180": 1234.5, ...}.
inline meter_result_t meterRecord(const QJsonObject &fields)
{
    meter_result_t r = clearedMeterResult();
    for (const MeterField &f : kMeterFields)
        if (fields.contains(f.name))
            r.*f.value = fields[f.name].toDouble(), r.*f.valid = true;
    return r;
}

struct WindowUnderTest
{
    WindowUnderTest(const QJsonObject &row, std::shared_ptr<FtdiDeviceSource> adapters)
        : answer(ModalAnswer::Action(QStringList{"accept", "reject", "close"}.indexOf(row["answer"].toString("accept"))),
                 [](QDialog *d) {
                     return QMetaObject::invokeMethod(d->findChild<QPushButton *>("pushButtonClose"), "click",
                                                      Qt::QueuedConnection);
                 })
    {
        QFile oem(editionDir.filePath("oem.dat"));
        if (row.contains("oem") && oem.open(QIODevice::WriteOnly))
            oem.write(row["oem"].toString().toUtf8()), oem.close();
        if (row["oemIsDirectory"].toBool())
            QDir(editionDir.path()).mkdir("oem.dat");
        QList<SerialPortEntry> ports;
        for (const QString &p : strings(row["ports"]))
            ports.append({p.section('|', 0, 0), p.section('|', 1, 1), p.section('|', 2, 2)});
        window = new MainWindow({std::make_shared<FixedPortEnumerator>(ports), adapters, editionDir.path()});
        // No port is open behind these windows: requests go nowhere.
        QObject::disconnect(window, SIGNAL(signalStartTest(QString, TestMode_t, enum_interfaces_t)), nullptr, nullptr);
        QObject::disconnect(window, SIGNAL(signalLesekopfStartTest()), nullptr, nullptr);
    }
    ~WindowUnderTest() { delete window; }

    template<typename T = QObject>
    T *get(const QString &name) const
    {
        T *child = name == "window" ? qobject_cast<T *>(window) : window->findChild<T *>(name);
        if (!child)
            qFatal("no object %s", qPrintable(name));
        return child;
    }

    void invoke(const char *slot, QGenericArgument a = {}, QGenericArgument b = {}, QGenericArgument c = {})
    {
        QVERIFY2(QMetaObject::invokeMethod(window, slot, Qt::DirectConnection, a, b, c), slot);
    }

    // "object.property=value" each; "hidden" is the widget's own flag, whether shown or not.
    void expect(const QJsonValue &list)
    {
        for (const QString &s : strings(list)) {
            const QString name = s.section('=', 0, 0), property = name.section('.', 1);
            QObject *o = get(name.section('.', 0, 0));
            const QVariant v = property == "hidden" ? qobject_cast<QWidget *>(o)->isHidden() : o->property(qPrintable(property));
            QCOMPARE(name + '=' + v.toString(), s);
        }
    }

    ModalAnswer answer;
    QTemporaryDir editionDir;
    MainWindow *window = nullptr;
};
